// End-to-end scenarios: the real Q8.exe, the test game, a real message box.
#include <gtest/gtest.h>
#include <windows.h>

#include <algorithm>
#include <cctype>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include "launcher/instance_guard/event_names.h"
#include "launcher/launch.h"
#include "tests/e2e/expect.h"
#include "resources/version.h"
#include "tests/e2e/harness.h"

namespace {

std::vector<unsigned char> ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(in), {});
}

template <typename T>
T At(const std::vector<unsigned char>& bytes, size_t offset) {
  T value{};
  if (offset + sizeof(T) <= bytes.size()) memcpy(&value, &bytes[offset], sizeof(T));
  return value;
}

// The DLL names in a PE32 file's import directory.
std::vector<std::string> ImportedDlls(const std::vector<unsigned char>& pe) {
  const auto nt = At<LONG>(pe, 0x3C);
  const auto optional = nt + 4 + sizeof(IMAGE_FILE_HEADER);
  const auto header = At<IMAGE_FILE_HEADER>(pe, nt + 4);
  const auto opt = At<IMAGE_OPTIONAL_HEADER32>(pe, optional);
  const DWORD importRva = opt.DataDirectory[IMAGE_DIRECTORY_ENTRY_IMPORT].VirtualAddress;
  auto toOffset = [&](DWORD rva) -> size_t {
    const size_t sections = optional + header.SizeOfOptionalHeader;
    for (int i = 0; i < header.NumberOfSections; ++i) {
      const auto s = At<IMAGE_SECTION_HEADER>(pe, sections + i * sizeof(IMAGE_SECTION_HEADER));
      if (rva >= s.VirtualAddress && rva < s.VirtualAddress + s.Misc.VirtualSize) {
        return rva - s.VirtualAddress + s.PointerToRawData;
      }
    }
    return pe.size();
  };
  std::vector<std::string> dlls;
  for (size_t d = toOffset(importRva);; d += sizeof(IMAGE_IMPORT_DESCRIPTOR)) {
    const auto descriptor = At<IMAGE_IMPORT_DESCRIPTOR>(pe, d);
    if (descriptor.Name == 0) break;
    std::string name;
    for (size_t i = toOffset(descriptor.Name); i < pe.size() && pe[i] != 0; ++i) name += pe[i];
    std::transform(name.begin(), name.end(), name.begin(), ::tolower);
    dlls.push_back(name);
  }
  return dlls;
}

std::string VersionString(const std::vector<char>& block, const char* key) {
  char* value = nullptr;
  UINT size = 0;
  const std::string path = std::string("\\StringFileInfo\\040904b0\\") + key;
  if (!VerQueryValueA(block.data(), path.c_str(), reinterpret_cast<void**>(&value), &size))
    return "";
  return std::string(value);
}

// The widths of the images in the icon group 1, in order, each marked when
// its image is PNG-compressed: "16 32 256(PNG) ".
std::string IconImages(HMODULE module) {
  auto bytes = [module](HRSRC resource) {
    return resource == nullptr
               ? nullptr
               : static_cast<const BYTE*>(LockResource(LoadResource(module, resource)));
  };
  const BYTE* group = bytes(FindResourceA(module, MAKEINTRESOURCEA(1), RT_GROUP_ICON));
  if (group == nullptr) return "no icon group";
  std::string images;
  const WORD count = *reinterpret_cast<const WORD*>(group + 4);
  for (WORD i = 0; i < count; ++i) {
    const BYTE* entry = group + 6 + 14 * i;  // width, height, colours, 0, planes, bits, size, id
    const WORD id = *reinterpret_cast<const WORD*>(entry + 12);
    const BYTE* image = bytes(FindResourceA(module, MAKEINTRESOURCEA(id), RT_ICON));
    images += std::to_string(entry[0] == 0 ? 256 : entry[0]);
    if (image != nullptr && std::memcmp(image, "\x89PNG", 4) == 0) images += "(PNG)";
    images += " ";
  }
  return images;
}

}  // namespace

TEST(Binary, IsA32BitGuiProgramWithOnlySystemImports) {
  const std::vector<unsigned char> pe = ReadFile(ShippedLauncherExe());
  ASSERT_GT(pe.size(), 1024u);
  const auto nt = At<LONG>(pe, 0x3C);
  EXPECT_EQ(At<DWORD>(pe, nt), IMAGE_NT_SIGNATURE);
  const auto header = At<IMAGE_FILE_HEADER>(pe, nt + 4);
  EXPECT_EQ(header.Machine, IMAGE_FILE_MACHINE_I386);
  const auto opt = At<IMAGE_OPTIONAL_HEADER32>(pe, nt + 4 + sizeof(IMAGE_FILE_HEADER));
  EXPECT_EQ(opt.Magic, IMAGE_NT_OPTIONAL_HDR32_MAGIC);
  EXPECT_EQ(opt.Subsystem, IMAGE_SUBSYSTEM_WINDOWS_GUI);

  const std::vector<std::string> dlls = ImportedDlls(pe);
  EXPECT_FALSE(dlls.empty());
  const std::vector<std::string> system = {"kernel32.dll", "user32.dll", "shell32.dll",
                                           "msvcrt.dll", "advapi32.dll"};
  for (const std::string& dll : dlls) {
    EXPECT_NE(std::find(system.begin(), system.end(), dll), system.end())
        << "Q8.exe imports " << dll;
  }
  // Named objects by their ANSI names; the launch, its path, its tail and its
  // message in UTF-16.
  auto imports = [&pe](const char* api) {
    return std::search(pe.begin(), pe.end(), api, api + strlen(api) + 1) != pe.end();
  };
  for (const char* api : {"CreateEventA", "OpenSemaphoreA", "GetModuleFileNameA", "ShellExecuteExW",
                          "MessageBoxW", "GetModuleFileNameW", "GetCommandLineW"}) {
    EXPECT_TRUE(imports(api)) << "Q8.exe should import " << api;
  }
  for (const char* api : {"ShellExecuteExA", "MessageBoxA", "GetCommandLineA"}) {
    EXPECT_FALSE(imports(api)) << "Q8.exe should not import " << api;
  }
}

TEST(Binary, CarriesItsIconAndVersionBlockAndNoManifest) {
  const std::string path = ShippedLauncherExe();
  HMODULE module = LoadLibraryExA(path.c_str(), nullptr, LOAD_LIBRARY_AS_DATAFILE);
  ASSERT_NE(module, nullptr);
  EXPECT_NE(FindResourceA(module, MAKEINTRESOURCEA(1), RT_ICON), nullptr);
  EXPECT_EQ(IconImages(module), "16 32 48 256(PNG) ");
  EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(1), RT_MANIFEST), nullptr);
  EXPECT_EQ(FindResourceA(module, MAKEINTRESOURCEA(2), RT_MANIFEST), nullptr);
  FreeLibrary(module);

  DWORD ignored = 0;
  const DWORD size = GetFileVersionInfoSizeA(path.c_str(), &ignored);
  ASSERT_GT(size, 0u);
  std::vector<char> block(size);
  ASSERT_TRUE(GetFileVersionInfoA(path.c_str(), 0, size, block.data()));
  VS_FIXEDFILEINFO* fixed = nullptr;
  UINT fixedSize = 0;
  ASSERT_TRUE(VerQueryValueA(block.data(), "\\", reinterpret_cast<void**>(&fixed), &fixedSize));
  const DWORD ms = MAKELONG(Q8_VERSION_MINOR, Q8_VERSION_MAJOR);
  const DWORD ls = MAKELONG(Q8_VERSION_BUILD, Q8_VERSION_PATCH);
  EXPECT_EQ(fixed->dwFileVersionMS, ms);
  EXPECT_EQ(fixed->dwFileVersionLS, ls);
  EXPECT_EQ(fixed->dwProductVersionMS, ms);
  EXPECT_EQ(fixed->dwProductVersionLS, ls);
  EXPECT_EQ(VersionString(block, "OriginalFilename"), "Q8.exe");
  EXPECT_EQ(VersionString(block, "FileVersion"), Q8_VERSION_STRING);
  EXPECT_EQ(VersionString(block, "ProductVersion"), Q8_VERSION_STRING);
  EXPECT_FALSE(VersionString(block, "FileDescription").empty());
  EXPECT_FALSE(VersionString(block, "CompanyName").empty());
  EXPECT_FALSE(VersionString(block, "ProductName").empty());
}

// How much longer than a trivial program's run a second launcher may take:
// besides its start and end it only opens and closes an event, but it loads
// more of the system's DLLs than the trivial program, which costs up to about
// a second more on a loaded machine. With an idle machine's run of up to
// 0.1 s, no more than 2 s in all.
constexpr DWORD kSecondLauncherMarginMs = 1900;

TEST(Launch, ASecondLauncherEndsAtOnceAndLaunchesNothing) {
  // The first launcher stays in its startup wait: its game never announces.
  GameFolder firstFolder;
  firstFolder.ConfigureGame(-1, -1, 60000);
  Process first = firstFolder.StartLauncher();
  ASSERT_TRUE(first.started());
  for (int i = 0; i < 200 && firstFolder.GameStarts().empty(); ++i) Sleep(50);
  ASSERT_EQ(firstFolder.GameStarts().size(), 1u);

  GameFolder secondFolder;
  secondFolder.ConfigureGame(0, -1, 5000);
  // At once: about as soon as a program that does nothing, whose run is
  // measured around it, under the same load.
  const DWORD before = TrivialRunMs();
  Job job;
  const DWORD start = GetTickCount();
  Process second = secondFolder.StartLauncher("-window", false, &job);
  DWORD code = 1234;
  ASSERT_TRUE(second.Wait(30000, &code));
  const DWORD took = GetTickCount() - start;
  const DWORD trivial = std::max(before, TrivialRunMs());
  RecordProperty("second_launcher_ms", took);
  RecordProperty("trivial_program_ms", trivial);
  EXPECT_EQ(code, 0u);
  ASSERT_LT(trivial, 30000u) << "the trivial program did not run";
  EXPECT_LT(took, trivial + kSecondLauncherMarginMs) << "ms; a trivial program took " << trivial;
  // It has ended: whatever it started is counted.
  EXPECT_EQ(job.ProcessesEver(), 1u) << "the second launcher alone, no game";
  EXPECT_TRUE(first.Running());
}

namespace {

// Starts the launcher with arguments, lets the game announce itself and
// answers the tails the game was started with; the launcher, watching the
// game meanwhile, is then ended with the quit tool.
std::vector<std::string> TailsHandedOn(const std::string& arguments) {
  GameFolder folder;
  folder.ConfigureGame(200, -1, 60000);
  Process launcher = folder.StartLauncher(arguments);
  EXPECT_TRUE(WaitForTestGame(true, 10000));
  Sleep(500);
  EXPECT_TRUE(launcher.Running()) << "the launcher stays while the game runs";
  EXPECT_EQ(RunTool("Q8Quit.exe"), 0u);
  DWORD code = 1234;
  EXPECT_TRUE(launcher.Wait(10000, &code));
  EXPECT_EQ(code, 0u);
  return folder.GameStarts();
}

}  // namespace

TEST(Launch, HandsTheGameExactlyItsTail) {
  EXPECT_EQ(TailsHandedOn("-window -skip"), std::vector<std::string>{"-window -skip"});
}

TEST(Launch, NoArgumentsHandTheGameAnEmptyTail) {
  EXPECT_EQ(TailsHandedOn(""), std::vector<std::string>{""});
}

TEST(Launch, AMissingGameIsReportedInAMessageBox) {
  GameFolder folder("Q8.exe", /*withGame=*/false);
  Process launcher = folder.StartLauncher();
  ExpectFailureBox(
      launcher, 20000,
      "Failed to start " + folder.Path("Q8Main.EXE") + "!\r\n( error : ERROR_FILE_NOT_FOUND )");
}

namespace {

// The game runs within two trivial programs' runs (the launcher's start and
// its own) and a margin of the launcher's start, the margin for the shell's
// work and the system DLLs the launcher loads and the trivial program does
// not (up to about 1.3 s on a heavily loaded machine); the time-out message
// shows within the 30 s, one poll, a trivial program's run (the box's window)
// and a margin of the game's start. The trivial program's run is measured
// around the launcher, under the load of the moment.
constexpr DWORD kGameStartMarginMs = 2000;
constexpr DWORD kTimeOutMarginMs = 1000;

// Waits for the time-out message of a launcher whose game never announces
// itself as that launcher expects, and checks the game keeps running. before
// is a trivial program's run measured just before the launcher started.
void ExpectTimeOut(const GameFolder& folder, const Process& launcher, DWORD start, DWORD before) {
  ASSERT_TRUE(WaitForTestGame(true, 10000));
  const DWORD gameStarted = GetTickCount();
  DWORD seenAt = 0;
  ExpectFailureBox(launcher, 45000,
                   "Failed to start " + folder.Path("Q8Main.EXE") +
                       "!\r\n( timed out waitinf for game to startup )",
                   &seenAt);
  const DWORD trivial = std::max(before, TrivialRunMs());
  testing::Test::RecordProperty("game_started_ms", gameStarted - start);
  testing::Test::RecordProperty("time_out_ms", seenAt - start);
  testing::Test::RecordProperty("trivial_program_ms", trivial);
  ASSERT_LT(trivial, 30000u) << "the trivial program did not run";
  EXPECT_LE(gameStarted - start, 2 * trivial + kGameStartMarginMs)
      << "ms until the game ran; a trivial program took " << trivial;
  EXPECT_GE(seenAt - start, 29500u);
  EXPECT_LE(seenAt - gameStarted, kStartupTimeoutMs + kStartupPollMs + trivial + kTimeOutMarginMs)
      << "ms from the game's start; a trivial program took " << trivial;
  EXPECT_EQ(folder.GameStarts().size(), 1u);
  EXPECT_TRUE(TestGameAlive()) << "the launcher leaves the game running";
}

}  // namespace

TEST(Launch, AGameThatNeverAnnouncesItselfTimesOut) {
  GameFolder folder;
  folder.ConfigureGame(-1, -1, 60000);
  const DWORD before = TrivialRunMs();
  const DWORD start = GetTickCount();
  Process launcher = folder.StartLauncher();
  ExpectTimeOut(folder, launcher, start, before);
}

TEST(Launch, ARenamedLauncherStartsTheGameAndTimesOut) {
  // Start.exe waits for $$s$$startmain.exe; the game announces $$s$$q8main.exe.
  GameFolder folder("Start.exe");
  folder.ConfigureGame(0, -1, 60000);
  const DWORD before = TrivialRunMs();
  const DWORD start = GetTickCount();
  Process launcher = folder.StartLauncher();
  ExpectTimeOut(folder, launcher, start, before);
}
