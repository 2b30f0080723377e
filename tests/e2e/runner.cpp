#include "e2e/runner.h"

#include <chrono>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <regex>
#include <sstream>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace e2e {

namespace {

const char* wine64_loader = "/usr/lib/wine/wine64";

std::string read_all(const fs::path& path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  return text.str();
}

// Wine's relay trace writes string arguments with C escapes.
std::string unescape(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    char next = text[++i];
    switch (next) {
    case 'n':
      out += '\n';
      break;
    case 'r':
      out += '\r';
      break;
    case 't':
      out += '\t';
      break;
    default:
      out += next;
      break;
    }
  }
  return out;
}

std::vector<Box> boxes_from(const std::string& output, Platform platform) {
  std::vector<Box> boxes;
  std::istringstream lines(output);
  std::string line;
  static const std::regex relay(
      R"re(Call user32\.MessageBoxA\([0-9a-f]+,[0-9a-f]+ "(.*)",[0-9a-f]+ "(.*)",[0-9a-f]+\) ret=)re");
  while (std::getline(lines, line)) {
    if (is_wine(platform)) {
      std::smatch match;
      if (std::regex_search(line, match, relay))
        boxes.push_back({unescape(match[2]), unescape(match[1])});
    } else {
      for (const char* caption : {"Warning", "Error"}) {
        std::string prefix = std::string(caption) + ": ";
        if (line.rfind(prefix, 0) == 0)
          boxes.push_back({caption, line.substr(prefix.size())});
      }
    }
  }
  return boxes;
}

fs::path build_directory() {
  return fs::path(SFX_SOURCE_DIR) / "build";
}

} // namespace

std::string Result::warning() const {
  return harness::message_text(boxes, "Warning");
}

std::string Result::report() const {
  return harness::message_text(boxes, "Error");
}

Runner::Runner(Platform platform) : platform_(platform) {
  char pattern[] = "/tmp/sfx-e2e.XXXXXX";
  scratch_ = ::mkdtemp(pattern);
  fs::create_directories(scratch_ / "temp");
  fs::create_directories(scratch_ / "state");
}

Runner::~Runner() {
  std::error_code ignored;
  fs::remove_all(scratch_, ignored);
}

fs::path Runner::prefix() const {
  const char* prefix =
      std::getenv(platform_ == Platform::wine32 ? "SFX_WINE32_PREFIX" : "WINEPREFIX");
  return prefix ? fs::path(prefix) : fs::path();
}

fs::path Runner::windows_build() const {
  return build_directory() / (platform_ == Platform::wine32 ? "win32/bin" : "win64/bin");
}

bool Runner::available() const {
  return unavailable_reason().empty();
}

std::string Runner::unavailable_reason() const {
  if (platform_ == Platform::posix)
    return "";
  if (platform_ == Platform::wine32 && !std::getenv("SFX_WINE32"))
    return "no 32-bit Wine: the kernel runs no i386 code, or `make test` did not set it up";
  if (prefix().empty())
    return "no Wine prefix: run through `make test`";
  if (!fs::exists(stub()) || !fs::exists(record_helper()))
    return stub().string() + " or its helpers not built";
  return "";
}

fs::path Runner::stub() const {
  return platform_ == Platform::posix ? build_directory() / "posix/bin/stub"
                                      : windows_build() / "stub.exe";
}

fs::path Runner::record_helper() const {
  return platform_ == Platform::posix ? build_directory() / "posix/bin/record_args"
                                      : windows_build() / "record_args.exe";
}

fs::path Runner::frame_probe() const {
  return platform_ == Platform::posix ? build_directory() / "posix/bin/frame_probe"
                                      : windows_build() / "frame_probe.exe";
}

std::string Runner::path_argument(const fs::path& path) const {
  if (platform_ == Platform::posix)
    return path.string();
  std::string text = "Z:" + fs::absolute(path).string();
  for (char& c : text)
    if (c == '/')
      c = '\\';
  return text;
}

fs::path Runner::temp_directory() const {
  if (platform_ == Platform::posix)
    return scratch_ / "temp";
  fs::path users = prefix() / "drive_c/users";
  for (const auto& entry : fs::directory_iterator(users))
    if (entry.path().filename() != "Public" && fs::exists(entry.path() / "Temp"))
      return entry.path() / "Temp";
  return users / "Public/Temp";
}

fs::path Runner::windows_directory() const {
  if (platform_ == Platform::posix)
    return scratch_ / "state";
  return prefix() / "drive_c/windows";
}

Result Runner::run(const fs::path& program, const std::vector<std::string>& arguments,
                   const std::vector<std::string>& environment) const {
  // Wine now and then cannot place its shared user data where address-space
  // randomisation put something else, and ends before the program starts:
  // that run says nothing about the program, so it is run again.
  for (int attempt = 1;; ++attempt) {
    Result result = run_once(program, arguments, environment);
    if (platform_ == Platform::posix || attempt == 3 ||
        result.output.find("failed to map the shared user data") == std::string::npos)
      return result;
  }
}

Result Runner::run_once(const fs::path& program, const std::vector<std::string>& arguments,
                        const std::vector<std::string>& environment) const {
  std::vector<std::string> words;
  if (platform_ == Platform::wine)
    words.push_back(wine64_loader);
  else if (platform_ == Platform::wine32)
    words.push_back(std::getenv("SFX_WINE32"));
  words.push_back(program.string());
  words.insert(words.end(), arguments.begin(), arguments.end());
  std::vector<std::string> variables = environment;
  if (platform_ == Platform::posix) {
    variables.push_back("TMPDIR=" + (scratch_ / "temp").string());
  } else {
    variables.push_back("WINEDEBUG=+relay");
    variables.push_back("WINEPREFIX=" + prefix().string());
    if (platform_ == Platform::wine32)
      variables.push_back("WINEARCH=win32");
  }
  fs::path output = scratch_ / "output.txt";
  fs::path standard_output = scratch_ / "stdout.txt";
  pid_t child = ::fork();
  if (child == 0) {
    for (const std::string& variable : variables)
      ::putenv(const_cast<char*>(variable.c_str()));
    int descriptor = ::open(output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(descriptor, 2);
    int out = ::open(standard_output.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ::dup2(out, 1);
    std::vector<char*> argv;
    for (std::string& word : words)
      argv.push_back(word.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  int status = 0;
  ::waitpid(child, &status, 0);
  Result result;
  result.exit_code = WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
  result.output = read_all(output);
  result.standard_output = read_all(standard_output);
  result.boxes = boxes_from(result.output, platform_);
  return result;
}

namespace {

int shell(const std::string& command) {
  return std::system((command + " >/dev/null 2>&1").c_str());
}

// The test run's certificate and key, made once.
fs::path certificate_directory() {
  static const fs::path directory = [] {
    char pattern[] = "/tmp/sfx-sign.XXXXXX";
    fs::path made = ::mkdtemp(pattern);
    shell("openssl req -x509 -newkey rsa:2048 -nodes -days 2 -subj /CN=sfxstub-test -keyout " +
          (made / "key.pem").string() + " -out " + (made / "cert.pem").string());
    return made;
  }();
  return directory;
}

} // namespace

bool sign(const fs::path& file, const fs::path& signed_file) {
  fs::path keys = certificate_directory();
  fs::remove(signed_file);
  return shell("osslsigncode sign -certs '" + (keys / "cert.pem").string() + "' -key '" +
               (keys / "key.pem").string() + "' -in '" + file.string() + "' -out '" +
               signed_file.string() + "'") == 0;
}

bool signature_verifies(const fs::path& file) {
  return shell("osslsigncode verify -CAfile '" + (certificate_directory() / "cert.pem").string() +
               "' '" + file.string() + "'") == 0;
}

bool wait_for(const fs::path& path, double seconds) {
  auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(seconds);
  while (!fs::exists(path)) {
    if (std::chrono::steady_clock::now() > end)
      return false;
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
  }
  return true;
}

} // namespace e2e
