#include "support/appinfo.h"
#include "support/mdShellEx.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>
#include <vector>

namespace kesk {
namespace {

struct ShellCall {
    OwnerHandle owner;
    std::string operation, file, parameters, directory;
    std::int32_t show;
};

class FakeShell : public ShellExecutor {
  public:
    enum class Throw { Nothing, RuntimeErr, BadAlloc, Other };

    std::intptr_t result = 42;
    Throw throws = Throw::Nothing;
    std::vector<ShellCall> calls;

    std::intptr_t execute(OwnerHandle owner, const std::string& operation, const std::string& file,
                          const std::string& parameters, const std::string& directory,
                          std::int32_t show) override {
        calls.push_back({owner, operation, file, parameters, directory, show});
        switch (throws) {
        case Throw::RuntimeErr:
            raiseError(errnum::PathFileAccess);
        case Throw::BadAlloc:
            throw std::bad_alloc();
        case Throw::Other:
            throw 17;
        case Throw::Nothing:
            break;
        }
        return result;
    }
};

class ShellOpenFileTest : public ::testing::Test {
  protected:
    void SetUp() override { app::overrideForTests("C:\\Programs\\KeskVLM", "KeskVLM"); }
    void TearDown() override { app::overrideForTests("", ""); }
    FakeShell shell;
};

TEST_F(ShellOpenFileTest, ShowCommandRules) {
    struct Case {
        const char* file;
        const char* params;
        const char* dir;
        std::int32_t show;
        std::int32_t expectedShow;
    };
    const Case cases[] = {
        // Nothing besides the file: always a normal window.
        {R"(C:\Tools\edit.exe)", "", "", 10, kShowNormal},
        {R"(C:\Docs\letter.doc)", "", "", 10, kShowNormal},
        {R"(C:\Docs\letter.doc)", "", "", 0, kShowNormal},
        // A program with parameters or a working directory: hidden.
        {R"(C:\Tools\edit.exe)", "/x", "", 10, kShowHide},
        {R"(C:\Tools\edit.exe)", "", R"(C:\Work)", 10, kShowHide},
        {R"(C:\Tools\EDIT.EXE)", "a b", R"(C:\Work)", 3, kShowHide},
        {R"(C:\Tools\Edit.Exe)", "x", "", 10, kShowHide},
        // ".exe" anywhere in the path counts, also inside a folder name.
        {R"(C:\setup.exe.files\readme.txt)", "x", "", 10, kShowHide},
        {R"(C:\Tools\my.exeditor\notes.txt)", "", R"(C:\)", 10, kShowHide},
        // A document with parameters or a working directory: the caller's command.
        {R"(C:\Docs\letter.doc)", "/p", "", 10, 10},
        {R"(C:\Docs\letter.doc)", "", R"(C:\Docs)", 10, 10},
        {R"(C:\Docs\letter.doc)", "", R"(C:\Docs)", 3, 3},
        {R"(C:\Tools\tool.ex)", "x", "", 10, 10},
        {R"(C:\Tools\toolexe)", "x", "", 10, 10},
    };
    for (const auto& c : cases) {
        shell.calls.clear();
        EXPECT_TRUE(shellOpenFile(shell, c.file, c.show, c.params, c.dir, "open", 0x1234));
        ASSERT_EQ(shell.calls.size(), 1u) << c.file;
        const ShellCall& call = shell.calls[0];
        EXPECT_EQ(call.show, c.expectedShow)
            << c.file << " params=" << c.params << " dir=" << c.dir;
        EXPECT_EQ(call.file, c.file);
        EXPECT_EQ(call.parameters, c.params);
        EXPECT_EQ(call.directory, c.dir);
        EXPECT_EQ(call.operation, "open");
        EXPECT_EQ(call.owner, OwnerHandle{0x1234});
    }
}

TEST_F(ShellOpenFileTest, SuccessIsAboveThirtyTwoOrNegative) {
    const std::intptr_t successes[] = {33, 42, 1000, INTPTR_MAX, -1, -2147483647 - 1, INTPTR_MIN};
    for (auto r : successes) {
        shell.result = r;
        ErrorRecord err{99, "untouched", "untouched"};
        EXPECT_TRUE(shellOpenFile(shell, "x.txt", 10, "", "", "open", 0, &err)) << r;
        EXPECT_EQ(err, (ErrorRecord{99, "untouched", "untouched"})) << r;
    }
#if INTPTR_MAX > INT32_MAX
    // A 64-bit success value whose low half looks like a failure code is still success.
    shell.result = static_cast<std::intptr_t>(0x100000002LL);
    EXPECT_TRUE(shellOpenFile(shell, "x.txt", 10, "", "", "open", 0));
#endif
}

TEST_F(ShellOpenFileTest, EveryFailureCodeHasItsRecord) {
    constexpr std::int32_t base = -2147220456; // 0x80040418
    const char* generic =
        "An error occurred occurred whilst trying to open or print the selected file.";
    struct Case {
        std::int32_t r;
        std::int32_t number;
        const char* description;
    };
    std::vector<Case> cases = {
        {0, 7, "Out of memory"},
        {2, 53, "File not found"},
        {3, 76, "Path not found"},
        {5, 75, "Path/file access error"},
        {8, 7, "Out of memory"},
        {11, -2147220445, "The executable file is invalid or corrupt"},
        {26, 75, "A sharing violation occurred."},
        {27, base + 27, "This file type does not have a valid file association."},
        {28, 286, "The file could not be opened due to time out. Please try again in a moment."},
        {29, 285,
         "The file could not be opened because the DDE transaction failed. Please try again in "
         "a moment."},
        {30, 285,
         "The file could not be opened because the target application is busy. Please try "
         "again in a moment."},
        {31, base + 31, "No application is associated with this file type."},
        {32, 48, "The specified dynamic-link library was not found."},
    };
    for (std::int32_t r :
         {1, 4, 6, 7, 9, 10, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22, 23, 24, 25}) {
        cases.push_back({r, base + r, generic});
    }
    ASSERT_EQ(cases.size(), 33u); // every code from 0 to 32
    for (const auto& c : cases) {
        shell.result = c.r;
        ErrorRecord err;
        EXPECT_FALSE(shellOpenFile(shell, R"(C:\x.exe)", 10, "", "", "open", 0, &err)) << c.r;
        EXPECT_EQ(err.number, c.number) << "r=" << c.r;
        EXPECT_EQ(err.description, c.description) << "r=" << c.r;
        EXPECT_EQ(err.source, "KeskVLM.ZOvava") << "r=" << c.r;
    }
    shell.result = 14;
    ErrorRecord err;
    shellOpenFile(shell, "x", 10, "", "", "open", 0, &err);
    EXPECT_EQ(err.number, -2147220442);
}

TEST_F(ShellOpenFileTest, SourceFollowsTheExecutableName) {
    app::overrideForTests("C:\\Elsewhere", "Renamed");
    shell.result = 2;
    ErrorRecord err;
    EXPECT_FALSE(shellOpenFile(shell, "missing.txt", 10, "", "", "open", 0, &err));
    EXPECT_EQ(err.source, "Renamed.ZOvava");
}

TEST_F(ShellOpenFileTest, NeverThrowsWhateverTheShellDoes) {
    const FakeShell::Throw kinds[] = {FakeShell::Throw::RuntimeErr, FakeShell::Throw::BadAlloc,
                                      FakeShell::Throw::Other};
    for (auto kind : kinds) {
        shell.throws = kind;
        ErrorRecord err;
        bool ok = true;
        EXPECT_NO_THROW(ok = shellOpenFile(shell, "x.exe", 10, "p", "", "open", 0, &err));
        EXPECT_FALSE(ok);
        EXPECT_NE(err.number, 0);
        EXPECT_EQ(err.source, "KeskVLM.ZOvava");
        // And without anywhere to put the record.
        EXPECT_NO_THROW(ok = shellOpenFile(shell, "x.exe", 10, "", "", "open", 0));
        EXPECT_FALSE(ok);
    }
    shell.throws = FakeShell::Throw::RuntimeErr;
    ErrorRecord err;
    shellOpenFile(shell, "x.exe", 10, "", "", "open", 0, &err);
    EXPECT_EQ(err.number, errnum::PathFileAccess);
}

TEST_F(ShellOpenFileTest, ThenTellsOnceWhatTheDirectCallReturns) {
    struct Case {
        const char* rule;
        std::intptr_t result;
        FakeShell::Throw throws;
        bool doneThrows;
        bool started;
        std::int32_t error;
    };
    const Case cases[] = {
        {"taken", 42, FakeShell::Throw::Nothing, false, true, 0},
        {"refused: the shell's record", 2, FakeShell::Throw::Nothing, false, false,
         errnum::FileNotFound},
        {"the call failed: its own record", 42, FakeShell::Throw::RuntimeErr, false, false,
         errnum::PathFileAccess},
        {"a listener that throws is told once and nothing escapes", 42, FakeShell::Throw::Nothing,
         true, true, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.rule);
        shell.calls.clear();
        shell.result = c.result;
        shell.throws = c.throws;
        int told = 0;
        bool started = !c.started;
        ErrorRecord error;
        EXPECT_NO_THROW(shellOpenFileThen(shell, "C:\\Tools\\edit.exe", 10, "/x", "", "open", 0,
                                          [&](bool s, const ErrorRecord& e) {
                                              ++told;
                                              started = s;
                                              error = e;
                                              if (c.doneThrows) {
                                                  throw std::runtime_error("listener");
                                              }
                                          }));
        EXPECT_EQ(told, 1);
        EXPECT_EQ(started, c.started);
        EXPECT_EQ(error.number, c.error);
        ASSERT_EQ(shell.calls.size(), 1u);
        EXPECT_EQ(shell.calls[0].show, kShowHide) << "the same show rules";
    }
}

} // namespace
} // namespace kesk
