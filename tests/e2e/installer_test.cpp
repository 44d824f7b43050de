// The Windows installer and portable zip: what the package's own tables tell
// Windows to do, read with msiinfo, and an install, a start, an upgrade and
// an uninstall under Wine in a scratch prefix that leave nothing behind
// outside it.

// GoogleTest first: Xlib defines macros (None, Bool) that clash with it.
#include <gtest/gtest.h>

#include "session.hpp"

#include "common/program.hpp"

#include <algorithm>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <set>
#include <sstream>
#include <string>

namespace {

using namespace e2e;
namespace fs = std::filesystem;

constexpr const char* product = program::name;
constexpr const char* upgrade_code = "{536FE28A-69CF-4A42-8C8E-F5F144B0C4CB}";
constexpr const char* uninstall_key = R"(HKLM\Software\Microsoft\Windows\CurrentVersion\Uninstall)";
// Installing takes Wine a while: only bounds a hang.
constexpr auto install_limit = 180000ms;

// The Windows build tree named by VORMO_WINDOWS_BUILD.
std::string windows_build()
{
    const char* dir = std::getenv("VORMO_WINDOWS_BUILD");
    return dir ? dir : "";
}

std::string package(const std::string& version)
{
    return windows_build() + "/vormo-kidney-" + version + ".msi";
}

// Runs a program to its end in the scratch directory (msiinfo writes a
// table's binary streams where it runs); its standard output, or "" with a
// test failure when it fails.
std::string output_of(const std::vector<std::string>& argv, const std::string& scratch)
{
    const std::string out = scratch + "/output.txt";
    std::vector<std::string> in_scratch = {"env", "-C", scratch};
    in_scratch.insert(in_scratch.end(), argv.begin(), argv.end());
    Process p(in_scratch, {}, out);
    const std::optional<int> status = p.wait_for_exit(60000ms);
    EXPECT_EQ(status, 0) << argv[0] << " " << argv[1] << ": " << p.error_output();
    return status == 0 ? read_file(out) : "";
}

// Each of the parts is somewhere in the text.
void expect_in(const std::string& text, const std::vector<std::string>& parts)
{
    for (const std::string& part : parts) {
        EXPECT_NE(text.find(part), std::string::npos) << part << " is missing from:\n" << text;
    }
}

TEST(WindowsPackage, TablesInstallPerMachineUnderProgramFilesWithShortcutIconAndUpgrade)
{
    const ScratchDir scratch("vormo-package");
    const std::string msi = package(VORMO_VERSION);
    const auto table = [&](const char* name) { return output_of({"msiinfo", "export", msi, name}, scratch.path()); };
    const std::string version = VORMO_VERSION;

    // A 64-bit package for every user, which asks for elevation.
    expect_in(output_of({"msiinfo", "suminfo", msi}, scratch.path()), {"Template: x64;1033"});
    expect_in(table("Property"),
              {"ALLUSERS\t1", std::string("ProductName\t") + product, "ProductVersion\t" + version,
               "Manufacturer\tThe Vormo KidneyShape developers", std::string("UpgradeCode\t") + upgrade_code,
               // Add/Remove Programs shows the icon the package carries;
               // there is nothing to modify: no Modify button.
               "ARPPRODUCTICON\tvormo_kidney.ico", "ARPNOMODIFY\t1"});
    expect_in(table("Icon"), {"vormo_kidney.ico\t"});

    // The program in its own folder under the 64-bit Program Files, in a
    // 64-bit component (attribute 256).
    expect_in(table("Directory"),
              {"INSTALLDIR\tProgramFiles64Folder\tVormo KidneyShape", "ProgramMenuFolder\tTARGETDIR"});
    expect_in(table("Component"), {"\tINSTALLDIR\t256\t"});
    expect_in(table("File"), {"\tvormo-kidney.exe\t", "\tLICENSE.txt\t"});

    // The Start-menu shortcut, with the icon.
    expect_in(table("Shortcut"), {std::string("\tProgramMenuFolder\t") + product + "\t", "\tvormo_kidney.ico\t"});

    // A major upgrade: older versions under the same upgrade code, and a
    // rebuild of this one (maximum included: 512, with 1 for migrating
    // features), are removed, and a newer one already installed stops this
    // one.
    expect_in(table("Upgrade"),
              {upgrade_code + ("\t\t" + version) + "\t\t513\t\tWIX_UPGRADE_DETECTED", "WIX_DOWNGRADE_DETECTED"});
    expect_in(table("InstallExecuteSequence"), {"RemoveExistingProducts"});
}

TEST(WindowsPackage, PortableZipHoldsTheProgramReadmeAndLicence)
{
    const ScratchDir scratch("vormo-package");
    const std::string zip = windows_build() + "/vormo-kidney-" + VORMO_VERSION + "-windows.zip";
    const std::string folder = std::string("vormo-kidney-") + VORMO_VERSION + "/";
    expect_in(output_of({VORMO_CMAKE, "-E", "tar", "tf", zip}, scratch.path()),
              {folder + "vormo-kidney.exe", folder + "README.md", folder + "LICENSE"});
}

// The program starts on Windows 7: it imports none of the later systems'
// functions (those it uses where present, it looks up), and no DLL that
// Windows 7 lacks.
TEST(WindowsPackage, ProgramImportsNothingWindows7Lacks)
{
    const ScratchDir scratch("vormo-package");
    const std::string imports =
        output_of({"x86_64-w64-mingw32-objdump", "-p", windows_build() + "/vormo-kidney.exe"}, scratch.path());
    ASSERT_NE(imports.find("DLL Name: USER32.dll"), std::string::npos) << imports;
    for (const char* later :
         {"AdjustWindowRectExForDpi", "GetDpiForWindow", "GetDpiForSystem", "GetSystemMetricsForDpi",
          "SetThreadDpiAwarenessContext", "SetProcessDpiAwarenessContext", "EnableNonClientDpiScaling",
          "SystemParametersInfoForDpi", "GetSystemTimePreciseAsFileTime", "shcore.dll", "SHCORE.dll", "api-ms-win-",
          "ucrtbase.dll"}) {
        EXPECT_EQ(imports.find(later), std::string::npos) << later;
    }
}

// The entries under the user's menu, icon and application folders, which
// Wine's menu builder would write to.
std::set<std::string> desktop_entries()
{
    std::set<std::string> seen;
    const char* home = std::getenv("HOME");
    if (!home) {
        return seen;
    }
    for (const char* dir : {"/.local/share/applications", "/.local/share/icons", "/.config/menus"}) {
        std::error_code e;
        for (fs::recursive_directory_iterator i(std::string(home) + dir, e), end; !e && i != end; i.increment(e)) {
            seen.insert(i->path().string());
        }
    }
    return seen;
}

// Paths below the directory whose file name is the given one.
std::vector<fs::path> find_named(const fs::path& dir, const std::string& name)
{
    std::vector<fs::path> found;
    std::error_code e;
    for (fs::recursive_directory_iterator i(dir, e), end; !e && i != end; i.increment(e)) {
        if (i->path().filename() == name) {
            found.push_back(i->path());
        }
    }
    return found;
}

// A path of the Linux file system as Wine's programs take it: drive Z: is
// the root.  (msiexec would take a path that begins with "/" for an option.)
std::string windows_path(std::string path)
{
    std::replace(path.begin(), path.end(), '/', '\\');
    return "Z:" + path;
}

class WindowsInstall : public ::testing::Test {
protected:
    void SetUp() override
    {
        if (windows_build().empty()) {
            GTEST_SKIP() << "no Windows build named (VORMO_WINDOWS_BUILD)";
        }
        wine_ = Launcher::make(true);
    }

    // Runs one of Wine's programs without a display (as an installer runs
    // here), then lets its server end; the exit status.
    std::optional<int> run(const std::string& program, const std::vector<std::string>& args,
                           const std::string& output = "")
    {
        const std::unique_ptr<Process> p = wine_->start(program, {"DISPLAY"}, args, output);
        const std::optional<int> status = p->wait_for_exit(install_limit);
        wine_->wait_for_server();
        return status;
    }

    // The uninstall entries named for the program: each one's DisplayVersion,
    // followed by " no modify" where its NoModify value is 1.
    std::vector<std::string> uninstall_entries()
    {
        const std::string out = scratch_.path() + "/reg-query.txt";
        EXPECT_EQ(run("reg", {"query", uninstall_key, "/s"}, out), 0);
        std::vector<std::string> versions;
        std::istringstream lines(read_file(out));
        std::string line;
        std::string version;
        bool ours = false;
        const auto end_key = [&] {
            if (ours) {
                versions.push_back(version);
            }
            ours = false;
            version.clear();
        };
        while (std::getline(lines, line)) {
            if (!line.empty() && line.back() == '\r') {
                line.pop_back();
            }
            if (line.rfind("HKEY_", 0) == 0) {
                end_key();
            } else if (line.find("DisplayName") != std::string::npos && line.find(product) != std::string::npos) {
                ours = true;
            } else if (line.find("DisplayVersion") != std::string::npos) {
                version.insert(0, line.substr(line.find_last_of(" \t") + 1));
            } else if (line.find("NoModify") != std::string::npos && line.ends_with("0x1")) {
                version += " no modify";
            }
        }
        end_key();
        return versions;
    }

    // A package of the given version built now, as the build makes them,
    // in the scratch directory.
    std::string make_package(const std::string& version)
    {
        std::string msi = scratch_.path() + "/vormo-kidney-" + version + "-" + std::to_string(++built_) + ".msi";
        Process make({VORMO_SOURCE_DIR "/platform/win32/make-msi", windows_build(), version, msi}, {});
        EXPECT_EQ(make.wait_for_exit(60000ms), 0) << make.error_output();
        return msi;
    }

    ScratchDir scratch_{"vormo-package"};
    std::unique_ptr<Launcher> wine_;
    int built_ = 0;
};

TEST_F(WindowsInstall, InstallsStartsUpgradesAndUninstallsLeavingNothingBehind)
{
    const std::set<std::string> home_before = desktop_entries();
    const fs::path program = fs::path(wine_->drive_c()) / "Program Files" / product / "vormo-kidney.exe";
    const std::string shortcut = std::string(product) + ".lnk";

    // 1. Install.
    ASSERT_EQ(run("msiexec", {"/i", windows_path(package(VORMO_VERSION)), "/qn"}), 0);
    EXPECT_TRUE(fs::is_regular_file(program)) << program;
    // Wine puts a per-machine shortcut in the user's Start Menu.
    const std::vector<fs::path> shortcuts = find_named(fs::path(wine_->drive_c()) / "users", shortcut);
    ASSERT_EQ(shortcuts.size(), 1u) << "Start-menu shortcuts named " << shortcut;
    EXPECT_EQ(shortcuts[0].parent_path().filename(), "Programs") << shortcuts[0];
    const std::string entry = std::string(VORMO_VERSION) + " no modify";
    EXPECT_EQ(uninstall_entries(), std::vector<std::string>{entry});
    // The licence beside the program.
    EXPECT_TRUE(fs::is_regular_file(program.parent_path() / "LICENSE.txt"));

    // 2. The installed program starts and ends on ESC with status 0.
    {
        const std::unique_ptr<Session> session =
            Session::make("X11", *wine_, {R"(C:\Program Files\Vormo KidneyShape\vormo-kidney.exe)"});
        ASSERT_TRUE(session->launch()) << session->viewer().error_output();
        session->type('\x1b');
        EXPECT_EQ(session->viewer().wait_for_exit(wine_->slack(hang_limit)), 0) << session->viewer().error_output();
        wine_->wait_for_server();
    }

    // 3. A rebuild of the same version replaces it: still one entry.
    const std::string rebuilt = make_package(VORMO_VERSION);
    ASSERT_EQ(run("msiexec", {"/i", windows_path(rebuilt), "/qn"}), 0);
    EXPECT_EQ(uninstall_entries(), std::vector<std::string>{entry});
    EXPECT_TRUE(fs::is_regular_file(program));

    // 4. A later version replaces it: one entry, the new version.
    const std::string newer = make_package("1.0.1");
    ASSERT_EQ(run("msiexec", {"/i", windows_path(newer), "/qn"}), 0);
    EXPECT_EQ(uninstall_entries(), std::vector<std::string>{"1.0.1 no modify"});
    EXPECT_TRUE(fs::is_regular_file(program));

    // 5. Uninstall removes what was installed.
    ASSERT_EQ(run("msiexec", {"/x", windows_path(newer), "/qn"}), 0);
    EXPECT_FALSE(fs::exists(program.parent_path())) << program.parent_path();
    EXPECT_TRUE(find_named(fs::path(wine_->drive_c()) / "users", shortcut).empty());
    EXPECT_TRUE(uninstall_entries().empty());

    // Nothing changed outside the prefix.
    EXPECT_EQ(desktop_entries(), home_before);
}

}  // namespace
