// The simulated file system finds names without regard to case after every kind of change,
// through junctions as at their targets.
#include "text_helpers.h"

namespace {

// What a fresh machine holds: the system's programs the shell finds.
const std::vector<std::string> kFreshMachine = {"C:\\Windows", "C:\\Windows\\system32",
                                                "C:\\Windows\\system32\\net.exe",
                                                "C:\\Windows\\system32\\rundll32.exe"};

class SimFiles : public SimTest {
 protected:
  // Creates (or, with CREATE_ALWAYS, replaces) a file of one byte and closes it again.
  static bool Create(const std::string& path, DWORD disposition = CREATE_NEW) {
    HANDLE file = CreateFileA(path.c_str(), GENERIC_WRITE, 0, nullptr, disposition,
                              FILE_ATTRIBUTE_NORMAL, nullptr);
    if (file == INVALID_HANDLE_VALUE) return false;
    DWORD written = 0;
    BOOL ok = WriteFile(file, "x", 1, &written, nullptr);
    CloseHandle(file);
    return ok && written == 1;
  }
  static bool Exists(const std::string& path) {
    return GetFileAttributesA(path.c_str()) != INVALID_FILE_ATTRIBUTES;
  }
  // The names FindFirstFileA lists in `folder`, dots aside.
  static std::vector<std::string> Listed(const std::string& folder) {
    std::vector<std::string> names;
    WIN32_FIND_DATAA entry{};
    HANDLE search = FindFirstFileA((folder + "\\*").c_str(), &entry);
    if (search == INVALID_HANDLE_VALUE) return names;
    do {
      std::string name = entry.cFileName;
      if (name != "." && name != "..") names.push_back(name);
    } while (FindNextFileA(search, &entry));
    FindClose(search);
    return names;
  }
};

TEST_F(SimFiles, NamesAreFoundInAnyCaseAfterEveryKindOfChange) {
  ASSERT_TRUE(CreateDirectoryA("C:\\Data", nullptr));
  EXPECT_FALSE(CreateDirectoryA("c:\\DATA", nullptr));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_ALREADY_EXISTS));

  ASSERT_TRUE(Create("C:\\data\\Note.TXT"));
  EXPECT_FALSE(Create("C:\\DATA\\note.txt"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));
  ASSERT_TRUE(Create("c:\\DATA\\NOTE.txt", CREATE_ALWAYS));
  EXPECT_EQ(Listed("C:\\Data"), std::vector<std::string>{"Note.TXT"})
      << "a replaced file keeps the spelling it was made with";

  ASSERT_TRUE(DeleteFileA("c:\\data\\NOTE.TXT"));
  EXPECT_FALSE(Exists("C:\\Data\\Note.TXT"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  ASSERT_TRUE(Create("C:\\Data\\NOTE.txt"));
  EXPECT_EQ(Listed("C:\\Data"), std::vector<std::string>{"NOTE.txt"});

  ASSERT_TRUE(CopyFileA("C:\\DATA\\note.TXT", "c:\\data\\Copy", TRUE));
  EXPECT_TRUE(Exists("C:\\DATA\\COPY"));
  EXPECT_FALSE(CopyFileA("C:\\Data\\NOTE.txt", "C:\\Data\\copy", TRUE));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_EXISTS));

  ASSERT_TRUE(sim::PutFolder("C:\\DATA\\Sub\\Deeper"));
  EXPECT_TRUE(Exists("c:\\data\\SUB\\deeper"));
  EXPECT_EQ(sim::Tree("C:\\Data"),
            (std::vector<std::string>{"C:\\Data\\Copy", "C:\\Data\\NOTE.txt", "C:\\Data\\Sub",
                                      "C:\\Data\\Sub\\Deeper"}));
  EXPECT_FALSE(RemoveDirectoryA("C:\\data\\sub"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_DIR_NOT_EMPTY));
  ASSERT_TRUE(RemoveDirectoryA("C:\\DATA\\SUB\\DEEPER"));
  ASSERT_TRUE(RemoveDirectoryA("C:\\DATA\\SUB"));
  EXPECT_FALSE(Exists("C:\\Data\\Sub"));
  EXPECT_FALSE(Create("C:\\Data\\Sub\\x"));
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_PATH_NOT_FOUND));
  ASSERT_TRUE(CreateDirectoryA("C:\\data\\SUB", nullptr));
  EXPECT_EQ(Listed("C:\\Data\\Sub"), std::vector<std::string>{});
  EXPECT_EQ(Listed("C:\\Data"), (std::vector<std::string>{"Copy", "NOTE.txt", "SUB"}));
}

TEST_F(SimFiles, AJunctionAndItsTargetShowTheSameNames) {
  ASSERT_TRUE(sim::PutFolder("C:\\Target"));
  ASSERT_TRUE(sim::MakeLink("C:\\Link", "C:\\Target"));
  EXPECT_FALSE(Exists("C:\\LINK\\New.txt"));
  EXPECT_FALSE(Exists("C:\\target\\NEW.TXT"));

  ASSERT_TRUE(Create("C:\\link\\New.txt"));
  EXPECT_TRUE(Exists("C:\\TARGET\\new.TXT"));
  ASSERT_TRUE(sim::PutFile("C:\\target\\Other", "o"));
  EXPECT_EQ(sim::FileBytes("c:\\LINK\\other"), "o");
  ASSERT_TRUE(DeleteFileA("C:\\LINK\\NEW.TXT"));
  EXPECT_FALSE(Exists("C:\\Target\\New.txt"));
  ASSERT_TRUE(CreateDirectoryA("C:\\Link\\Inner", nullptr));
  ASSERT_TRUE(RemoveDirectoryA("C:\\TARGET\\inner"));
  EXPECT_FALSE(Exists("C:\\link\\Inner"));

  ASSERT_TRUE(RemoveDirectoryA("C:\\link"));
  EXPECT_FALSE(Exists("C:\\Link"));
  std::vector<std::string> expected = {"C:\\Target", "C:\\Target\\Other"};
  expected.insert(expected.end(), kFreshMachine.begin(), kFreshMachine.end());
  EXPECT_EQ(sim::Tree(), expected);
}

TEST_F(SimFiles, WritingThroughALinkWhoseTargetWentAwayMakesTheTargetAgain) {
  ASSERT_TRUE(sim::PutFile("C:\\Folder\\File.txt", "old"));
  ASSERT_TRUE(sim::MakeLink("C:\\Shortcut", "C:\\Folder\\File.txt"));
  ASSERT_TRUE(DeleteFileA("C:\\FOLDER\\file.txt"));
  EXPECT_FALSE(Exists("C:\\folder\\FILE.TXT"));
  EXPECT_TRUE(Exists("C:\\Shortcut")) << "the link itself stays";

  ASSERT_TRUE(Create("C:\\SHORTCUT", CREATE_ALWAYS));
  EXPECT_TRUE(Exists("C:\\folder\\FILE.TXT"));
  EXPECT_EQ(Listed("C:\\Folder"), std::vector<std::string>{"File.txt"});
}

TEST_F(SimFiles, UnderGbkATrailByteKeepsItsCase) {
  sim::System().ansiCodePage = 936;
  ASSERT_TRUE(
      sim::PutFile("C:\\\x81"
                   "A",
                   "upper"));
  ASSERT_TRUE(
      sim::PutFile("C:\\\x81"
                   "a",
                   "lower"));
  EXPECT_EQ(sim::FileBytes("C:\\\x81"
                           "A"),
            "upper");
  EXPECT_EQ(sim::FileBytes("C:\\\x81"
                           "a"),
            "lower");
  EXPECT_EQ(sim::Tree().size(), kFreshMachine.size() + 2);
  ASSERT_TRUE(
      sim::PutFile("C:\\\x81"
                   "aB",
                   "mixed"));
  EXPECT_EQ(sim::FileBytes("C:\\\x81"
                           "ab"),
            "mixed")
      << "a byte outside a character still folds";
  EXPECT_EQ(sim::FileBytes("C:\\\x81"
                           "Ab"),
            "");
}

TEST_F(SimFiles, UtfEightTakesOnlyTheFlagsWindowsTakesForIt) {
  // After Wine's conformance tests: SetLastError first, then the result and the error together.
  const WCHAR name[] = {'K', 0x5F20, 0xD800};  // a lone surrogate at the end
  char bytes[16] = {};
  BOOL used = FALSE;
  struct Case {
    UINT codePage;
    DWORD flags;
    BOOL* used;
    int length;  // characters of `name` converted
    int result;
    DWORD error;
  } cases[] = {
      {CP_UTF8, WC_NO_BEST_FIT_CHARS, &used, 2, 0, ERROR_INVALID_PARAMETER},
      {CP_UTF8, 0, &used, 2, 0, ERROR_INVALID_PARAMETER},
      {CP_UTF8, WC_NO_BEST_FIT_CHARS, nullptr, 2, 0, ERROR_INVALID_FLAGS},
      {CP_UTF8, 0, nullptr, 2, 4, 0xdeadbeef},
      {CP_UTF8, WC_ERR_INVALID_CHARS, nullptr, 2, 4, 0xdeadbeef},
      {CP_UTF8, WC_ERR_INVALID_CHARS, nullptr, 3, 0, ERROR_NO_UNICODE_TRANSLATION},
      {CP_UTF8, 0, nullptr, 3, 7, 0xdeadbeef},  // U+FFFD for the lone surrogate
      {CP_ACP, WC_ERR_INVALID_CHARS, nullptr, 2, 0, ERROR_INVALID_FLAGS},  // code page 1252
      {CP_ACP, WC_NO_BEST_FIT_CHARS, &used, 2, 2, 0xdeadbeef},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.codePage) + " " + std::to_string(c.flags) + " " +
                 std::to_string(c.length));
    SetLastError(0xdeadbeef);
    EXPECT_EQ(WideCharToMultiByte(c.codePage, c.flags, name, c.length, bytes, sizeof bytes, nullptr,
                                  c.used),
              c.result);
    EXPECT_EQ(GetLastError(), c.error);
  }
  // CP_ACP is UTF-8 where the ANSI code page is 65001.
  sim::System().ansiCodePage = 65001;
  SetLastError(0xdeadbeef);
  EXPECT_EQ(WideCharToMultiByte(CP_ACP, WC_NO_BEST_FIT_CHARS, name, 2, bytes, 16, nullptr, &used),
            0);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_PARAMETER));
  ASSERT_EQ(WideCharToMultiByte(CP_ACP, 0, name, 2, bytes, 16, nullptr, nullptr), 4);
  EXPECT_EQ(std::string(bytes, 4), "K\xE5\xBC\xA0");
  WCHAR back[4] = {};
  ASSERT_EQ(MultiByteToWideChar(CP_ACP, 0, bytes, 4, back, 4), 2);
  EXPECT_EQ(back[1], 0x5F20);
  SetLastError(0xdeadbeef);
  EXPECT_EQ(MultiByteToWideChar(CP_UTF8, 1, bytes, 4, back, 4), 0) << "MB_PRECOMPOSED";
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_INVALID_FLAGS));
}

TEST_F(SimFiles, ShortNamesByTheMachinesOwnRuleAndPathsThroughThem) {
  ASSERT_TRUE(sim::PutFolder("C:\\Program Files\\Korvex"));
  ASSERT_TRUE(sim::PutFolder("C:\\ProgramData"));
  ASSERT_TRUE(sim::PutFile("C:\\ProgramData\\settings.json", "{}"));
  char path[MAX_PATH] = {};
  ASSERT_EQ(GetShortPathNameA("C:\\program files\\Korvex\\", path, MAX_PATH), 19u);
  EXPECT_STREQ(path, "C:\\PROGRA~1\\Korvex\\") << "an 8.3 name is its own short name";
  ASSERT_EQ(GetShortPathNameA("C:\\ProgramData\\settings.json", path, MAX_PATH), 24u);
  EXPECT_STREQ(path, "C:\\PROGRA~2\\SETTIN~1.JSO");
  EXPECT_EQ(sim::FileBytes("C:\\progra~2\\SETTIN~1.JSO"), "{}") << "the short name opens it";
  EXPECT_EQ(GetShortPathNameA("C:\\ProgramData", path, 5), 12u) << "the size needed, NUL and all";
  SetLastError(0xdeadbeef);
  EXPECT_EQ(GetShortPathNameA("C:\\ProgramData\\missing", path, MAX_PATH), 0u);
  EXPECT_EQ(GetLastError(), static_cast<DWORD>(ERROR_FILE_NOT_FOUND));
  // A name of another script has no character of an 8.3 name: four hex digits of its hash.
  ASSERT_TRUE(sim::PutFolderWide("C:\\ProgramData", "\xE5\xBC\xA0"));
  const WCHAR wide[] = {'C', ':', '\\', 'P', 'r', 'o',  'g',    'r', 'a',
                        'm', 'D', 'a',  't', 'a', '\\', 0x5F20, 0};
  WCHAR shortWide[MAX_PATH] = {};
  ASSERT_EQ(GetShortPathNameW(wide, shortWide, MAX_PATH), 18u);
  std::string spelled(shortWide, shortWide + 18);
  EXPECT_EQ(spelled, "C:\\PROGRA~2\\" + sim::ShortNameOf("C:\\ProgramData", "\xE5\xBC\xA0"));
  EXPECT_EQ(spelled.substr(17), "1");
}

}  // namespace
