// Run control. Every message the program prints apart from the head types is
// printed here, once, on standard output.
#include "app/control/run.h"

#include "app/engine/console.h"

namespace quillmar {
namespace {

constexpr const char* kUsage =
    "Error: Wrong number of arguments.\n\n\n"
    "------------- MORVALDINE V1.1 -------------\n"
    "Syntax: MORVALDINE <Input File> <Output File>.\n\n"
    "Example - From one filename into another filename\n"
    "   Quillmar ZUL.kvr ZUL1.kvr\n\n"
    "Example - From one filename into another directory\n"
    "   Quillmar ZUL.kvr t\\ZUL.kvr\n"
    "   The directory has to exist before calling Quillmar.\n";

}  // namespace

int Report(const Outcome& outcome, const std::string& input, const std::string& output,
           Console& console) {
  switch (outcome.kind) {
    case Outcome::kComplete:
      console << "Conversion Complete.\n";
      return 0;
    case Outcome::kWrongFormat:
      console << "Error: Wrong Format\n";
      break;
    case Outcome::kReadFailed:
      console << "Cannot read input file " << input << ".\n";
      break;
    case Outcome::kWriteFailed:
      console << "Cannot write output file " << output << ".\n";
      break;
    case Outcome::kOutOfRange:
      console << "Error: Value out of range in line " << outcome.line << ".\n";
      break;
    case Outcome::kNoMemory:
      console << "Error: Not enough memory for line " << outcome.line << ".\n";
      break;
  }
  return 1;
}

int Run(std::span<const std::string> args, Console& console, Files& files, Outcome* result,
        ChangeWatcher* watcher) {
  if (args.size() < 3) {
    console << kUsage;
    return 1;
  }
  const std::string& in_path = args[1];
  const std::string& out_path = args[2];
  console << "\nConverting " << in_path << " -> " << out_path << ".\n";

  // A name that holds a lone surrogate would be shown, and a file made,
  // under another name.
  for (const std::string* path : {&in_path, &out_path}) {
    if (!files.CanName(*path)) {
      console << (path == &in_path ? "Cannot open input file " : "Cannot open output file ")
              << *path << ": its name is not valid Unicode.\n";
      return 1;
    }
  }
  std::unique_ptr<ByteSource> in = files.OpenInput(in_path);
  if (!in) {
    console << "Cannot open input file " << in_path << ".\n";
    return 1;
  }
  // Opening the output empties it: converting a file onto itself would
  // destroy it before a byte was read.
  if (files.SameFile(in_path, out_path)) {
    console << "Error: Input and output are the same file.\n";
    return 1;
  }
  // Messages and copy written to one file would overwrite each other.
  if (files.IsConsole(out_path)) {
    console << "Error: Output and console are the same file.\n";
    return 1;
  }
  if (!files.MayReplace(in_path, out_path, console)) return 1;
  std::unique_ptr<ByteSink> out = files.OpenOutput(out_path);
  if (!out) {
    console << "Cannot open output file " << out_path << ".\n";
    return 1;
  }

  // Changes are told in file order, as one thread converts.
  Outcome outcome = watcher != nullptr ? ConvertOnOneThread(*in, *out, console, kBlockSize,
                                                            SplitMode::kFast, watcher)
                                       : Convert(*in, *out, console);
  in->Close();
  if (!out->Close() && outcome.kind == Outcome::kComplete) outcome = {Outcome::kWriteFailed};
  if (result != nullptr) *result = outcome;
  return Report(outcome, in_path, out_path, console);
}

}  // namespace quillmar
