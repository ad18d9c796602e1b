// The dialogs' checks: their order, messages and icons, for both dialogs.
#include <gtest/gtest.h>

#include "model/ConnectorOptions.h"
#include "model/ConnectorValidation.h"

namespace tolvi {
namespace {

ConnectorSettings With(const std::string& pipe, const std::string& port) {
    ConnectorSettings s;
    s.pipeName = pipe;
    s.portText = port;
    return s;
}

const std::vector<RowKey> kRows = {{"\\\\.\\pipe\\com1", "80"}, {"\\\\.\\pipe\\com2", "2323"}};

struct Case {
    std::string pipe, port;
    bool accepted;
    std::string message;
    MessageIcon addIcon, editIcon;
};

TEST(ConnectorValidation, EachCheckInOrderWithItsMessageAndIcons) {
    using I = MessageIcon;
    const std::string invalid = kInvalidPipeNameMessage;
    const Case cases[] = {
        {"", "abc", false, "Please provide Named Pipe Name", I::Stop, I::Exclamation},
        {"\\\\.\\pipe\\vm", "23", true, "", I::None, I::None},
        {"\\\\server\\pipe\\deep\\er", "23", true, "", I::None, I::None},
        {"\\\\.\\PIPE\\vm", "23", false, invalid, I::Stop, I::Stop},
        {"\\\\.\\pipe", "23", false, invalid, I::Stop, I::Stop},
        {"\\.\\pipe\\vm", "23", false, invalid, I::Stop, I::Stop},
        {"\\\\.\\pipe\\vm", "0", false, "Incorrect port value provided", I::Stop, I::Exclamation},
        {"\\\\.\\pipe\\vm", "", false, "Incorrect port value provided", I::Stop, I::Exclamation},
        {"\\\\.\\pipe\\vm", "abc", false, "Incorrect port value provided", I::Stop, I::Exclamation},
        {"\\\\.\\pipe\\vm", "-5", false, "Incorrect port value provided", I::Stop, I::Exclamation},
        {"\\\\.\\pipe\\vm", "65536", false, "Incorrect port value provided", I::Stop,
         I::Exclamation},
        {"\\\\.\\pipe\\vm", "65535", true, "", I::None, I::None},
        {"\\\\.\\pipe\\vm", " 23abc", true, "", I::None, I::None},
        {"\\\\.\\pipe\\com1", "81", false,
         "The pipe \\\\.\\pipe\\com1 is already serverd on port 80!", I::Exclamation,
         I::Exclamation},
        {"\\\\.\\pipe\\vm", "0080", false, "Port 80 is in use for pipe \\\\.\\pipe\\com1!",
         I::Exclamation, I::Exclamation},
        {"\\\\.\\pipe\\COM1", "81", true, "", I::None, I::None},  // names compare with case
        // Row 0 has the port, row 1 the name: the earlier row's port message wins.
        {"\\\\.\\pipe\\com2", "80", false, "Port 80 is in use for pipe \\\\.\\pipe\\com1!",
         I::Exclamation, I::Exclamation},
    };
    for (const Case& c : cases) {
        Verdict add = ValidateConnector(DialogKind::Add, With(c.pipe, c.port), kRows, -1);
        EXPECT_EQ(add.accepted, c.accepted) << c.pipe << " " << c.port;
        EXPECT_EQ(add.message, c.message) << c.pipe << " " << c.port;
        EXPECT_EQ(add.icon, c.addIcon) << c.pipe << " " << c.port;
        Verdict edit = ValidateConnector(DialogKind::Edit, With(c.pipe, c.port), kRows, 5);
        EXPECT_EQ(edit.accepted, c.accepted) << c.pipe << " " << c.port;
        EXPECT_EQ(edit.message, c.message);
        EXPECT_EQ(edit.icon, c.editIcon) << c.pipe << " " << c.port;
    }
    EXPECT_EQ(std::string(kInvalidPipeNameMessage),
              "Invalid pipe name\n\nA valid pipe name has the "
              "form\n\"\\\\<ServerName>\\pipe\\<PipeName>\"");
}

TEST(ConnectorValidation, EditSkipsItsOwnRow) {
    // Unchanged: its own name and port pass.
    EXPECT_TRUE(
        ValidateConnector(DialogKind::Edit, With("\\\\.\\pipe\\com1", "80"), kRows, 0).accepted);
    // Another row's port does not.
    Verdict v = ValidateConnector(DialogKind::Edit, With("\\\\.\\pipe\\com1", "2323"), kRows, 0);
    EXPECT_FALSE(v.accepted);
    EXPECT_EQ(v.message, "Port 2323 is in use for pipe \\\\.\\pipe\\com2!");
    // The add dialog skips nothing.
    EXPECT_FALSE(
        ValidateConnector(DialogKind::Add, With("\\\\.\\pipe\\com1", "80"), kRows, -1).accepted);
}

TEST(FieldLengths, AFieldLongerThanTheStoreKeepsIsNamed) {
    const std::string longest(254, 'x');
    EXPECT_TRUE(ValidateFieldLengths({{"Pipe name", longest}, {"Log file", ""}}).accepted);
    // Characters are counted as the registry keeps them, not as bytes of UTF-8: 254 Chinese
    // characters fit, one more character beyond U+FFFF (two units) does not.
    std::string chinese;
    for (int i = 0; i < 254; ++i)
        chinese += "\xe6\x8e\xa7";  // 控
    EXPECT_TRUE(ValidateFieldLengths({{"Description", chinese}}).accepted);
    EXPECT_FALSE(
        ValidateFieldLengths({{"Description", longest.substr(1) + "\xf0\x9f\x98\x80"}}).accepted);
    Verdict v = ValidateFieldLengths(
        {{"Pipe name", longest}, {"Log file", longest + "x"}, {"Port", longest + "x"}});
    EXPECT_FALSE(v.accepted);
    EXPECT_EQ(v.problem, Problem::TextTooLong);
    EXPECT_EQ(v.message, "Log file is too long: at most 254 characters can be stored");
    EXPECT_EQ(v.icon, MessageIcon::Exclamation);
}

TEST(ConsoleOptionsValidation, WholeNumbersInTheirRangesOnly) {
    struct Case {
        const char* clients;
        const char* replay;
        const char* message;  // "" when accepted
    };
    const char* kClients = "Clients at once must be a number from 1 to 16";
    const char* kReplay = "Replay must be a number from 0 to 1024";
    const Case cases[] = {
        {"1", "0", ""},
        {" 16 ", "1024", ""},
        {"4", " 64", ""},
        {"0", "0", kClients},
        {"17", "0", kClients},
        {"", "0", kClients},
        {"2x", "0", kClients},
        {"-1", "0", kClients},
        {"4", "1025", kReplay},
        {"4", "", kReplay},
        {"4", "-5", kReplay},
        {"4", "1e3", kReplay},
        {"99999999999", "0", kClients},
    };
    const ConnectorOption* clients = FindOptionByFlag("--max-clients");
    const ConnectorOption* replay = FindOptionByFlag("--replay");
    ASSERT_TRUE(clients && replay);
    for (const Case& c : cases) {
        ConnectorSettings s;
        s.logFile = "kept";
        std::string message;
        bool accepted = SetOptionFromText(*clients, c.clients, &s, &message) &&
                        SetOptionFromText(*replay, c.replay, &s, &message);
        EXPECT_EQ(accepted, *c.message == 0) << c.clients << " " << c.replay;
        EXPECT_EQ(accepted ? "" : message, c.message) << c.clients << " " << c.replay;
        if (accepted) {
            EXPECT_EQ(s.maxClients, std::stoi(c.clients));
            EXPECT_EQ(s.replayKiB, std::stoi(c.replay));
        } else if (message == kClients) {
            EXPECT_EQ(s.maxClients, 1) << "nothing is stored from refused input";
        }
        EXPECT_EQ(s.logFile, "kept");
    }
}

// A watch port is a port like any other: no connector's port, nor another's watch port, nor
// its own port.
TEST(ConnectorValidation, WatchPortsAreCheckedLikePorts) {
    const std::vector<RowKey> rows = {{"\\\\.\\pipe\\com1", "80", 81}};
    auto check = [&](const std::string& port, int watch) {
        ConnectorSettings s = With("\\\\.\\pipe\\vm", port);
        s.watchPort = watch;
        return ValidateConnector(DialogKind::Add, s, rows, -1);
    };
    EXPECT_TRUE(check("82", 83).accepted);
    for (Verdict v : {check("82", 80), check("82", 81), check("81", 0), check("82", 82)}) {
        EXPECT_FALSE(v.accepted);
        EXPECT_EQ(v.icon, MessageIcon::Exclamation);
    }
    EXPECT_EQ(check("82", 81).message, "Port 81 is in use for pipe \\\\.\\pipe\\com1!");
    EXPECT_EQ(check("81", 0).message, "Port 81 is in use for pipe \\\\.\\pipe\\com1!");
    EXPECT_EQ(check("82", 82).message, "Port 82 is in use for pipe \\\\.\\pipe\\vm!");
}

// A pipe that tolvi makes is this machine's: another's name is refused where it is typed.
TEST(ConnectorValidation, APipeToMakeIsThisMachines) {
    ConnectorSettings s = With("\\\\vmhost\\pipe\\com1", "80");
    EXPECT_TRUE(ValidateConnector(DialogKind::Add, s, {}, -1).accepted);
    s.pipeServer = true;
    Verdict v = ValidateConnector(DialogKind::Add, s, {}, -1);
    EXPECT_EQ(v.problem, Problem::PipeNotLocal);
    EXPECT_EQ(v.message, kPipeNotLocalMessage);
    s.pipeName = "\\\\.\\pipe\\com1";
    EXPECT_TRUE(ValidateConnector(DialogKind::Add, s, {}, -1).accepted);
}

}  // namespace
}  // namespace tolvi
