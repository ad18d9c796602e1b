// The service's folders on Windows: %ProgramData%\tolvi, its recordings (each console's in a
// folder of its port) and its ssh folder with the keys file and the audit trail, for the
// administrators and the system alone.
#pragma once
#include <string>

namespace tolvi::service {

// %ProgramData%\tolvi, as Windows names ProgramData (not as an environment, which a service
// may be started without, says).
std::string ServiceFolder();

// Its ssh folder's audit trail, %ProgramData%\tolvi\ssh\audit.jsonl.
std::string ServiceAuditFile();

// %ProgramData%\tolvi\recordings, as Windows names the folder; "" where there is none.
std::string MachineRecordingsRoot();

// Makes the folder when missing and, whoever made it, gives it to the administrators, with
// rights for them and the system alone (protected: nothing inherited from ProgramData, where
// every user may read), passed on to what it holds. False, with why, when it cannot.
bool MakeMachineRecordingsRoot(std::string* why);

// The same rights on one file: the service's audit trail.
bool ProtectForAdministrators(const std::string& path, std::string* why);

}  // namespace tolvi::service
