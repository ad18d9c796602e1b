// The service's recordings and audit trail on Windows: %ProgramData%\tolvi\recordings, each
// console's in a folder of its port, for the administrators and the system alone, as the
// audit trail beside the service's keys file is.
#pragma once
#include <string>

namespace tolvi::service {

// %ProgramData%\tolvi\recordings, as Windows names the folder; "" where there is none.
std::string MachineRecordingsRoot();

// Makes the folder when missing and, whoever made it, gives it to the administrators, with
// rights for them and the system alone (protected: nothing inherited from ProgramData, where
// every user may read), passed on to what it holds. False, with why, when it cannot.
bool MakeMachineRecordingsRoot(std::string* why);

// The same rights on one file: the service's audit trail.
bool ProtectForAdministrators(const std::string& path, std::string* why);

}  // namespace tolvi::service
