// Runs the end-to-end cases: each case lays out files in a fresh folder, runs
// the program there with its arguments, and compares the console text, the
// exit status and the files left behind with what the case expects.
//
//   e2e_runner --program "COMMAND PREFIX" [--work DIR] [--platform windows]
//              [--no-memory-limits] CASES...
//   e2e_runner --dump-inputs DIR CASES...   (every file's bytes, a fuzzing seed)
//
// A cases file holds cases separated by lines "=== name". In a case, each
// line is "key: value"; values take the escapes \n \r \t \\ and \xHH, and
// \{N*TEXT} for N copies of TEXT; a key that repeats appends to the value
// before it.
//   args:      the arguments, split at spaces; '' is an empty argument
//   file NAME: the bytes of a file to create before the run
//   mkdir:     a folder to create; symlink: / hardlink: LINK TARGET
//   chmod:     NAME MODE (octal), after the files are made
//   unprivileged: why the case means nothing to root, which reads and
//              writes any file: run by root, it runs as the user nobody,
//              in a folder of nobody's (skipped, and named, under Wine or
//              where nobody cannot reach the program)
//   only:      posix or windows, then why: the case runs on that platform only
//   stdin:     closed: the program starts with standard input closed
//   stdout:    closed (started without it), broken-pipe (a pipe whose reader
//              has gone), fifo NAME (a named pipe, made for the run, whose
//              bytes a reader copies to the file NAME.read), or a file NAME
//              that standard output writes to
//   memory-limit: KB of address space the program may use (ulimit -v);
//   data-limit: KB of data the program may use (ulimit -d);
//              such cases skip under --no-memory-limits (sanitizers and
//              emulators reserve more than any such limit)
//   file-size-limit: the largest file the program may write, in the
//              shell's blocks (ulimit -f)
//
// In args and console, {dir} stands for the case's folder as the program
// names it: its absolute path, on Windows the Z: path that Wine gives it.
//
// On Windows the console is in text mode, so its CR LF line breaks are read
// as LF before the console text is compared.
//   console:   the expected standard output (standard error must be empty)
//   status:    the expected exit status
//   out NAME:  the expected bytes of a file after the run
//   absent:    a file that must not exist after the run
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

// Files larger than this make poor fuzzing seeds: they only slow it.
constexpr size_t kLargestSeed = size_t{1} << 20;

struct Case {
  std::string name;
  std::string where;  // file:line, for messages
  std::vector<std::string> args;
  std::vector<std::pair<std::string, std::string>> files;  // in order of creation
  std::vector<std::string> folders;
  std::vector<std::pair<std::string, std::string>> symlinks, hardlinks, chmods;
  std::string unprivileged;
  std::string only_platform, only_why;
  std::string stdin_to, stdout_to, memory_limit, data_limit, file_size_limit;
  std::string console;
  int status = 0;
  std::map<std::string, std::string> outs;
  std::vector<std::string> absent;
};

std::string Unescape(const std::string& s, const std::string& where) {
  std::string out;
  for (size_t i = 0; i < s.size(); ++i) {
    if (s[i] != '\\' || i + 1 == s.size()) {
      out += s[i];
      continue;
    }
    char c = s[++i];
    switch (c) {
      case 'n':
        out += '\n';
        break;
      case 'r':
        out += '\r';
        break;
      case 't':
        out += '\t';
        break;
      case '\\':
        out += '\\';
        break;
      case '{': {
        size_t star = s.find('*', i), close = s.find('}', i);
        if (star == std::string::npos || close == std::string::npos || close < star) {
          throw std::runtime_error(where + ": \\{ wants N*TEXT}");
        }
        std::string text = Unescape(s.substr(star + 1, close - star - 1), where);
        for (int n = std::stoi(s.substr(i + 1, star - i - 1)); n > 0; --n) out += text;
        i = close;
        break;
      }
      case 'x':
        if (i + 2 >= s.size()) throw std::runtime_error(where + ": \\x wants two hex digits");
        out += static_cast<char>(std::stoi(s.substr(i + 1, 2), nullptr, 16));
        i += 2;
        break;
      default:
        throw std::runtime_error(where + ": unknown escape \\" + c);
    }
  }
  return out;
}

std::vector<std::string> SplitWords(const std::string& s) {
  std::vector<std::string> words;
  std::istringstream in(s);
  for (std::string w; in >> w;) words.push_back(w == "''" ? "" : w);
  return words;
}

void AppendTo(std::vector<std::pair<std::string, std::string>>& files, const std::string& name,
              const std::string& bytes) {
  for (auto& [n, b] : files) {
    if (n == name) {
      b += bytes;
      return;
    }
  }
  files.emplace_back(name, bytes);
}

std::vector<Case> ReadCases(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  if (!in) throw std::runtime_error("cannot read " + path);
  std::vector<Case> cases;
  std::string line;
  for (int n = 1; std::getline(in, line); ++n) {
    std::string where = path + ":" + std::to_string(n);
    if (line.empty() || line[0] == '#') continue;
    if (line.starts_with("=== ")) {
      cases.emplace_back();
      cases.back().name = line.substr(4);
      cases.back().where = where;
      continue;
    }
    size_t colon = line.find(": ");
    if (colon == std::string::npos && line.back() == ':') colon = line.size() - 1;
    if (cases.empty() || colon == std::string::npos)
      throw std::runtime_error(where + ": not a case line");
    Case& c = cases.back();
    std::string key = line.substr(0, colon);
    std::string raw = colon + 2 <= line.size() ? line.substr(colon + 2) : "";
    std::string value = Unescape(raw, where);
    std::vector<std::string> words = SplitWords(raw);
    if (key == "args") {
      for (const std::string& w : words) c.args.push_back(Unescape(w, where));
    } else if (key.starts_with("file ")) {
      AppendTo(c.files, Unescape(key.substr(5), where), value);
    } else if (key.starts_with("out ")) {
      c.outs[Unescape(key.substr(4), where)] += value;
    } else if (key == "mkdir") {
      c.folders.push_back(value);
    } else if (key == "symlink" && words.size() == 2) {
      c.symlinks.emplace_back(words[0], words[1]);
    } else if (key == "hardlink" && words.size() == 2) {
      c.hardlinks.emplace_back(words[0], words[1]);
    } else if (key == "chmod" && words.size() == 2) {
      c.chmods.emplace_back(words[0], words[1]);
    } else if (key == "only" && !words.empty()) {
      c.only_platform = words[0];
      c.only_why = value.substr(std::min(value.size(), words[0].size() + 1));
    } else if (key == "stdin") {
      c.stdin_to = value;
    } else if (key == "stdout") {
      c.stdout_to = value;
    } else if (key == "memory-limit") {
      c.memory_limit = value;
    } else if (key == "data-limit") {
      c.data_limit = value;
    } else if (key == "file-size-limit") {
      c.file_size_limit = value;
    } else if (key == "unprivileged") {
      c.unprivileged = value;
    } else if (key == "console") {
      c.console += value;
    } else if (key == "status") {
      c.status = std::stoi(value);
    } else if (key == "absent") {
      c.absent.push_back(value);
    } else {
      throw std::runtime_error(where + ": unknown key " += key);
    }
  }
  return cases;
}

std::string ReadFile(const fs::path& p) {
  std::ifstream in(p, std::ios::binary);
  std::ostringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const fs::path& p, const std::string& bytes) {
  std::ofstream out(p, std::ios::binary);
  out << bytes;
  if (!out) throw std::runtime_error("cannot write " + p.string());
}

std::string ShellQuote(const std::string& s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

// Shows bytes the way the cases write them.
std::string Escape(const std::string& s) {
  std::string out;
  for (char ch : s) {
    auto c = static_cast<unsigned char>(ch);
    if (c == '\n')
      out += "\\n";
    else if (c == '\r')
      out += "\\r";
    else if (c == '\t')
      out += "\\t";
    else if (c == '\\')
      out += "\\\\";
    else if (c < 0x20 || c >= 0x7F) {
      char hex[8];
      std::snprintf(hex, sizeof hex, "\\x%02X", c);
      out += hex;
    } else {
      out += ch;
    }
  }
  return out;
}

// Where two texts part, shown as the cases write bytes: from a little before
// the first difference, and not much of it, since a case's file may be
// megabytes long.
std::string Mismatch(const std::string& want, const std::string& got) {
  size_t at = 0;
  while (at < want.size() && at < got.size() && want[at] == got[at]) ++at;
  constexpr size_t kBefore = 40, kShown = 200;
  size_t from = at > kBefore ? at - kBefore : 0;
  std::string text = "\n    want: " + Escape(want.substr(from, kShown)) +
                     "\n    got:  " + Escape(got.substr(from, kShown));
  if (from > 0 || want.size() > from + kShown || got.size() > from + kShown) {
    text += "\n    (from byte " + std::to_string(from) + " of " + std::to_string(want.size()) +
            " wanted and " + std::to_string(got.size()) + " got)";
  }
  return text;
}

// The user that root runs an unprivileged case as, and the command that
// runs the rest of a command line as that user.
constexpr uid_t kNobody = 65534;
const std::string kAsNobody = "setpriv --reuid=65534 --regid=65534 --clear-groups -- ";

bool AsNobody(const Case& c) { return !c.unprivileged.empty() && geteuid() == 0; }

// Whether nobody can run the program and write in the work folder: a
// checkout in a folder of root's alone keeps it out.
bool NobodyCanRun(const std::string& program, const fs::path& work) {
  fs::create_directories(work);
  std::string check = kAsNobody + "sh -c " +
                      ShellQuote("test -x " + ShellQuote(work.string()) + " && " + "test -x " +
                                 ShellQuote(program.substr(program.rfind(' ') + 1)));
  return std::system((check + " 2>/dev/null").c_str()) == 0;
}

// Why the case does not run here, or nothing.
std::string SkipReason(const Case& c, const std::string& platform, bool memory_limits,
                       const std::string& program, const fs::path& work) {
  if (!c.only_platform.empty() && c.only_platform != platform) return c.only_why;
  if ((!c.memory_limit.empty() || !c.data_limit.empty()) && !memory_limits) {
    return "no memory limit in this build";
  }
  if (AsNobody(c) && platform != "posix") return c.unprivileged + " (and Wine runs as root here)";
  if (AsNobody(c) && !NobodyCanRun(program, work)) {
    return c.unprivileged + " (and the user nobody cannot reach the program or " + work.string() +
           ")";
  }
  return "";
}

std::string LfBreaks(std::string text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '\r' && i + 1 < text.size() && text[i + 1] == '\n') continue;
    out += text[i];
  }
  return out;
}

// Wine failed to start the program, or lost its server while it ran (a
// server that ends as the last program ends resets one that starts at
// that moment): Wine's own words, which the program never prints. Now and
// then Wine also ends a run silently, before the program's first line;
// the program itself always prints one where the case expects any.
bool WineFailed(const Case& c, const fs::path& dir) {
  std::string out = ReadFile(dir / ".stdout");
  std::string err = ReadFile(dir / ".stderr");
  return out.find("ShellExecuteEx failed") != std::string::npos ||
         err.find("wine client error:") != std::string::npos ||
         (out.empty() && err.empty() && !c.console.empty() && c.stdout_to.empty());
}

// Puts the case's folder where the text says {dir}.
std::string PlaceDir(std::string text, const fs::path& dir, const std::string& platform) {
  std::string named = fs::absolute(dir).string();
  if (platform == "windows") {
    std::replace(named.begin(), named.end(), '/', '\\');
    named.insert(0, "Z:");
  }
  for (size_t at = 0; (at = text.find("{dir}", at)) != std::string::npos; at += named.size()) {
    text.replace(at, 5, named);
  }
  return text;
}

std::vector<std::string> RunCase(const Case& c, const std::string& program, const fs::path& dir,
                                 const std::string& platform) {
  fs::remove_all(dir);
  fs::create_directories(dir);
  for (const std::string& d : c.folders) fs::create_directories(dir / d);
  for (const auto& [name, bytes] : c.files) WriteFile(dir / name, bytes);
  for (const auto& [link, target] : c.symlinks) fs::create_symlink(target, dir / link);
  for (const auto& [link, target] : c.hardlinks) fs::create_hard_link(dir / target, dir / link);
  if (AsNobody(c)) {
    if (lchown(dir.c_str(), kNobody, kNobody) != 0)
      throw std::runtime_error("cannot chown " + dir.string());
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
      if (lchown(entry.path().c_str(), kNobody, kNobody) != 0) {
        throw std::runtime_error("cannot chown " + entry.path().string());
      }
    }
  }
  for (const auto& [name, mode] : c.chmods) {
    fs::permissions(dir / name, static_cast<fs::perms>(std::stoi(mode, nullptr, 8)));
  }

  std::string run = AsNobody(c) ? kAsNobody + program : program;
  for (const std::string& a : c.args)
    run.append(" ").append(ShellQuote(PlaceDir(a, dir, platform)));
  run.append(" 2>.stderr").append(c.stdin_to == "closed" ? " <&-" : " </dev/null");
  if (!c.memory_limit.empty()) run = "ulimit -v " + c.memory_limit + " && " + run;
  if (!c.data_limit.empty()) run = "ulimit -d " + c.data_limit + " && " + run;
  if (!c.file_size_limit.empty()) run = "ulimit -f " + c.file_size_limit + " && " + run;
  std::string command = "cd " + ShellQuote(dir.string()) + " && ";
  if (c.stdout_to == "broken-pipe") {
    // The reader is gone at once; every console write after the pipe's
    // buffer fills meets a closed pipe.
    command += "{ " + run + " ; echo $? >.status; } | :";
  } else if (c.stdout_to == "closed") {
    command += run + " >&-";
  } else if (c.stdout_to.starts_with("fifo ")) {
    std::string fifo = ShellQuote(c.stdout_to.substr(5));
    command += "mkfifo " + fifo + " && { cat " + fifo + " >" + fifo + ".read & } && " + run + " >" +
               fifo + "; status=$?; wait; exit $status";
  } else {
    command += run + " >" + ShellQuote(c.stdout_to.empty() ? ".stdout" : c.stdout_to);
  }
  int raw = std::system(command.c_str());
  int status = WIFEXITED(raw) ? WEXITSTATUS(raw) : 128 + WTERMSIG(raw);
  if (c.stdout_to == "broken-pipe") {
    std::string exited = ReadFile(dir / ".status");
    status = exited.empty() ? -1 : std::stoi(exited);
  }

  std::vector<std::string> diffs;
  auto expect = [&](const std::string& what, const std::string& want, const std::string& got) {
    if (want != got) diffs.push_back(what + Mismatch(want, got));
  };
  std::string console = ReadFile(dir / ".stdout");
  expect("console", PlaceDir(c.console, dir, platform),
         platform == "windows" ? LfBreaks(console) : console);
  expect("standard error", "", ReadFile(dir / ".stderr"));
  expect("status", std::to_string(c.status), std::to_string(status));
  for (const auto& [name, bytes] : c.outs) {
    if (!fs::exists(dir / name))
      diffs.push_back("file " + name + " is missing");
    else
      expect("file " + name, bytes, ReadFile(dir / name));
  }
  for (const std::string& name : c.absent) {
    if (fs::exists(fs::symlink_status(dir / name))) diffs.push_back("file " + name + " exists");
  }
  return diffs;
}

}  // namespace

int main(int argc, char** argv) {
  std::string program;
  fs::path work = fs::temp_directory_path() / "quillmar-e2e";
  std::string platform = "posix";
  fs::path dump;
  bool memory_limits = true;
  std::vector<std::string> files;
  for (int i = 1; i < argc; ++i) {
    std::string a = argv[i];
    if (a == "--program" && i + 1 < argc)
      program = argv[++i];
    else if (a == "--platform" && i + 1 < argc)
      platform = argv[++i];
    else if (a == "--dump-inputs" && i + 1 < argc)
      dump = argv[++i];
    else if (a == "--no-memory-limits")
      memory_limits = false;
    else if (a == "--work" && i + 1 < argc)
      work = argv[++i];
    else
      files.push_back(a);
  }
  if ((program.empty() && dump.empty()) || files.empty()) {
    std::cerr << "usage: e2e_runner (--program COMMAND [--work DIR] [--platform P] "
                 "[--no-memory-limits] | --dump-inputs DIR) CASES...\n";
    return 2;
  }
  int passed = 0, failed = 0, skipped = 0;
  try {
    for (const std::string& f : files) {
      std::vector<Case> cases = ReadCases(f);
      for (size_t i = 0; i < cases.size(); ++i) {
        std::string id = fs::path(f).stem().string() + "-" + std::to_string(i + 1);
        if (!dump.empty()) {
          fs::create_directories(dump);
          // Named by their place: a file's own name may be too long for one.
          int k = 0;
          for (const auto& file : cases[i].files) {
            ++k;
            if (file.second.size() <= kLargestSeed) {
              WriteFile(dump / (id + "-" + std::to_string(k)), file.second);
            }
          }
          continue;
        }
        if (std::string why = SkipReason(cases[i], platform, memory_limits, program, work);
            !why.empty()) {
          ++skipped;
          std::cout << "skip " << cases[i].where << " " << cases[i].name << ": " << why << "\n";
          continue;
        }
        fs::path dir = work / id;
        std::vector<std::string> diffs = RunCase(cases[i], program, dir, platform);
        // Now and then Wine fails to start a program, or to keep it
        // running; such a run tells nothing of the program, so it is run
        // again (a fault of the program fails each time).
        for (int again = 0;
             again < 2 && !diffs.empty() && platform == "windows" && WineFailed(cases[i], dir);
             ++again) {
          std::cout << "again " << cases[i].where << ": Wine failed to run the program\n";
          diffs = RunCase(cases[i], program, dir, platform);
        }
        if (diffs.empty()) {
          ++passed;
          continue;
        }
        ++failed;
        std::cout << "FAIL " << cases[i].where << " " << cases[i].name << "\n";
        for (const std::string& d : diffs) std::cout << "  " << d << "\n";
      }
    }
  } catch (const std::exception& e) {
    std::cout << "error: " << e.what() << "\n";
    return 2;
  }
  if (!dump.empty()) return 0;
  std::cout << passed << " passed, " << failed << " failed, " << skipped << " skipped\n";
  return failed == 0 ? 0 : 1;
}
