// The staged installation: the files a user and the desktop look for, and the programs' answers
// to their options, run from where they were installed.

#include <gtest/gtest.h>

#include <cstdint>
#include <fstream>
#include <regex>
#include <set>
#include <string>
#include <sys/stat.h>
#include <vector>

#include "installed_paths.h"
#include "modbus_probe.h"
#include "support/child_process.h"

namespace {

const std::vector<int> kIconSizes = {16, 32, 48, 64, 128, 256};

struct InstalledFile {
  std::string path;   // under usr/
  bool consoleOnly;   // present only when the console was built
  bool executable;
};

std::vector<InstalledFile> ExpectedFiles() {
  std::vector<InstalledFile> files = {
      {"bin/parvane-cli", false, true},
      {"share/man/man1/parvane-cli.1.gz", false, false},
      {"share/doc/parvane/examples/parvane-cli.service", false, false},
      {"share/doc/parvane/copyright", false, false},
      {"share/doc/parvane/api.md", false, false},
      {"bin/parvane", true, true},
      {"share/man/man1/parvane.1.gz", true, false},
      {"share/applications/parvane.desktop", true, false},
      {"share/icons/hicolor/scalable/apps/parvane.svg", true, false},
  };
  for (int size : kIconSizes) {
    std::string folder = std::to_string(size) + "x" + std::to_string(size);
    files.push_back({"share/icons/hicolor/" + folder + "/apps/parvane.png", true, false});
  }
  return files;
}

std::string ReadFile(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

uint32_t BigEndian32(const std::string& bytes, size_t offset) {
  uint32_t value = 0;
  for (size_t i = 0; i < 4; ++i) value = (value << 8) | static_cast<uint8_t>(bytes[offset + i]);
  return value;
}

// The manual page as man reads it: gunzipped, roff's escaped minus signs made plain.
std::string ManualPageText(const std::string& program) {
  ChildResult unpacked =
      RunToEnd("/bin/gzip", {"-dc", Installed("share/man/man1/" + program + ".1.gz")});
  EXPECT_EQ(unpacked.status, 0) << unpacked.errors;
  return std::regex_replace(unpacked.output, std::regex(R"(\\-)"), "-");
}

std::vector<std::string> InstalledPrograms() {
  std::vector<std::string> programs = {"parvane-cli"};
  if (kConsoleInstalled) programs.push_back("parvane");
  return programs;
}

}  // namespace

TEST(InstalledTree, HoldsEveryFileOfItsPrograms) {
  for (const InstalledFile& file : ExpectedFiles()) {
    SCOPED_TRACE(file.path);
    struct stat info {};
    bool present = stat(Installed(file.path).c_str(), &info) == 0;
    if (file.consoleOnly && !kConsoleInstalled) {
      EXPECT_FALSE(present) << "installed although the console was not built";
      continue;
    }
    ASSERT_TRUE(present);
    EXPECT_TRUE(S_ISREG(info.st_mode));
    EXPECT_GT(info.st_size, 0);
    EXPECT_EQ((info.st_mode & S_IXUSR) != 0, file.executable);
  }
  // Debian's machine-readable copyright file, with the licence's whole text.
  const std::string copyright = ReadFile(Installed("share/doc/parvane/copyright"));
  EXPECT_EQ(copyright.rfind("Format: https://www.debian.org/doc/packaging-manuals/copyright-format/1.0/\n", 0), 0u);
  EXPECT_NE(copyright.find("\nLicense: Expat\n"), std::string::npos) << copyright;
  EXPECT_NE(copyright.find("\n Permission is hereby granted, free of charge,"), std::string::npos) << copyright;
}

// Menus pick the bitmap by the folder it is in; one rendered at the wrong size looks blurred.
TEST(InstalledTree, IconBitmapsAreThePngsTheirFolderNames) {
  if (!kConsoleInstalled) GTEST_SKIP() << "the console and its icons are not part of this build";
  for (int size : kIconSizes) {
    std::string folder = std::to_string(size) + "x" + std::to_string(size);
    SCOPED_TRACE(folder);
    std::string png = ReadFile(Installed("share/icons/hicolor/" + folder + "/apps/parvane.png"));
    ASSERT_GE(png.size(), 24u);
    EXPECT_EQ(png.substr(0, 8), std::string("\x89PNG\r\n\x1a\n", 8));
    EXPECT_EQ(png.substr(12, 4), "IHDR");
    EXPECT_EQ(BigEndian32(png, 16), static_cast<uint32_t>(size)) << "width";
    EXPECT_EQ(BigEndian32(png, 20), static_cast<uint32_t>(size)) << "height";
  }
}

// The menu entry starts the installed console by name and shows the installed icon.
TEST(InstalledTree, DesktopEntryNamesTheInstalledProgramAndIcon) {
  if (!kConsoleInstalled) GTEST_SKIP() << "the console is not part of this build";
  std::string entry = ReadFile(Installed("share/applications/parvane.desktop"));
  // The main entry and every action must start the console, whatever options they add.
  const std::regex exec(R"(^Exec=(\S+))", std::regex::multiline);
  std::set<std::string> programs;
  for (auto it = std::sregex_iterator(entry.begin(), entry.end(), exec);
       it != std::sregex_iterator(); ++it) {
    programs.insert((*it)[1]);
  }
  std::smatch found;
  EXPECT_EQ(programs, std::set<std::string>{"parvane"});
  ASSERT_TRUE(std::regex_search(entry, found, std::regex(R"(^Icon=(\S+))", std::regex::multiline)));
  EXPECT_EQ(found[1], "parvane");
}

// Every program prints its name and the project version, then the licence it is under.
TEST(InstalledPrograms, VersionIsTheProjectVersion) {
  for (const std::string& program : InstalledPrograms()) {
    SCOPED_TRACE(program);
    ChildResult result = RunToEnd(Installed("bin/" + program), {"--version"}, {{kHeadlessQt}});
    EXPECT_EQ(result.status, 0) << result.errors;
    EXPECT_EQ(result.output, program + " " + kExpectedVersion + "\nLicensed under the MIT License.\n");
  }
}

// Every option that --help offers is explained in the manual page, and the page's synopsis
// offers no option that the program would refuse.
TEST(InstalledPrograms, ManualPageDescribesEveryOptionOfHelp) {
  const std::regex option(R"(--[a-z][a-z-]*)");
  for (const std::string& program : InstalledPrograms()) {
    SCOPED_TRACE(program);
    ChildResult help = RunToEnd(Installed("bin/" + program), {"--help"}, {{kHeadlessQt}});
    ASSERT_EQ(help.status, 0) << help.errors;
    std::set<std::string> helpOptions;
    for (auto it = std::sregex_iterator(help.output.begin(), help.output.end(), option);
         it != std::sregex_iterator(); ++it) {
      helpOptions.insert(it->str());
    }
    EXPECT_TRUE(helpOptions.count("--port") && helpOptions.count("--bind")) << help.output;

    std::string page = ManualPageText(program);
    for (const std::string& name : helpOptions) {
      EXPECT_NE(page.find(name), std::string::npos) << name << " is not in " << program << "(1)";
    }
    size_t synopsis = page.find(".SH SYNOPSIS");
    size_t description = page.find(".SH DESCRIPTION");
    ASSERT_NE(synopsis, std::string::npos);
    std::string synopsisText = page.substr(synopsis, description - synopsis);
    for (auto it = std::sregex_iterator(synopsisText.begin(), synopsisText.end(), option);
         it != std::sregex_iterator(); ++it) {
      EXPECT_TRUE(helpOptions.count(it->str())) << it->str() << " is in the synopsis only";
    }
  }
}

TEST(InstalledPrograms, BadOptionsExitWithStatusTwoAndSayWhy) {
  const std::vector<std::vector<std::string>> badCommandLines = {
      {"--no-such-option"},
      {"--port"},                    // value missing
      {"--port", "65536"},           // one past the largest port
      {"--port", "-1"},
      {"--port", "502x"},
      {"--port", ""},
      {"--bind"},                    // value missing
      {"--bind", "256.0.0.1"},       // octet out of range
      {"--bind", "127.0.0"},         // three octets
      {"--bind", "localhost"},       // names are not resolved
  };
  // Should a bad value be taken after all, the server must still land on a free loopback port:
  // the bad option comes after a good pair that it can only override.
  const std::vector<std::string> safeStart = {"--port", std::to_string(PickFreeLoopbackPort()),
                                              "--bind", "127.0.0.1"};
  for (const std::string& program : InstalledPrograms()) {
    for (const std::vector<std::string>& badArguments : badCommandLines) {
      std::vector<std::string> arguments = safeStart;
      arguments.insert(arguments.end(), badArguments.begin(), badArguments.end());
      std::string shown;
      for (const std::string& argument : badArguments) shown += " '" + argument + "'";
      SCOPED_TRACE(program + shown);
      ChildResult result = RunToEnd(Installed("bin/" + program), arguments, {{kHeadlessQt}},
                                    std::chrono::seconds(5));
      EXPECT_EQ(result.status, 2);
      EXPECT_FALSE(result.errors.empty());
      EXPECT_EQ(result.output.find("Modbus Server started"), std::string::npos);
    }
  }
}
