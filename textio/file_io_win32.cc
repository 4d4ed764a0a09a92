// Files on Windows: the paths arrive as UTF-8, made from the wide command
// line, and the system takes UTF-16.
#include <sys/stat.h>
#include <windows.h>

#include <system_error>

#include "textio/file_io.h"

namespace quillmar {

bool CanName(const std::string& path) {
  return path.empty() || MultiByteToWideChar(CP_UTF8, MB_ERR_INVALID_CHARS, path.data(),
                                             static_cast<int>(path.size()), nullptr, 0) > 0;
}

std::filesystem::path NativePath(const std::string& path) {
  // A name that is not valid UTF-8 came with a lone surrogate: it names no
  // file that can be opened.
  if (!CanName(path)) return {};
  std::filesystem::path given(std::u8string(path.begin(), path.end()));
  // A path in the \\?\ (or \\.\) form is already what the system takes;
  // made absolute it would become a path on the current drive.
  if (path.starts_with("\\\\?\\") || path.starts_with("\\\\.\\")) return given;
  // Windows refuses a file's path of MAX_PATH (260) characters or more,
  // and a folder's of 248 or more (room for a short name in it), unless
  // the system allows long paths; the \\?\ form of the absolute path
  // passes whatever the setting, and is used from 248 on. Shorter paths
  // stay as typed, so that device names such as NUL keep their meaning.
  std::error_code ec;
  std::filesystem::path full = std::filesystem::absolute(given, ec);
  if (ec || full.native().size() < 248) return given;
  std::wstring w = full.lexically_normal().make_preferred().native();
  if (w.starts_with(L"\\\\?\\")) return w;
  if (w.starts_with(L"\\\\")) return L"\\\\?\\UNC\\" + w.substr(2);
  return L"\\\\?\\" + w;
}

std::optional<uint64_t> RegularSize(std::FILE* f) {
  struct _stat64 st {};
  if (_fstat64(_fileno(f), &st) != 0 || (st.st_mode & _S_IFMT) != _S_IFREG) return std::nullopt;
  return static_cast<uint64_t>(st.st_size);
}

FileHandle OpenFile(const std::string& path, const char* mode) {
  std::wstring wmode(mode, mode + std::char_traits<char>::length(mode));
  FileHandle f(_wfopen(NativePath(path).c_str(), wmode.c_str()));
  // The program does its own buffering in large blocks.
  if (f) std::setvbuf(f.get(), nullptr, _IONBF, 0);
  return f;
}

std::filesystem::path FsPath(const std::string& path) { return NativePath(path); }

std::unique_ptr<FileSource> OpenInput(const std::string& path) {
  FileHandle f = OpenFile(path, "rb");
  if (!f) return nullptr;
  // A C library may open a directory for reading.
  std::error_code ec;
  if (std::filesystem::is_directory(NativePath(path), ec)) return nullptr;
  std::optional<uint64_t> size = RegularSize(f.get());
  return std::make_unique<FileSource>(std::move(f), size);
}

bool SameFile(const std::string& a, const std::string& b) {
  std::error_code ec;
  return std::filesystem::equivalent(NativePath(a), NativePath(b), ec);
}

bool IsFolder(const std::string& path) {
  DWORD attributes = GetFileAttributesW(NativePath(path).c_str());
  return attributes != INVALID_FILE_ATTRIBUTES && (attributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
}

bool FileExists(const std::string& path) {
  return GetFileAttributesW(NativePath(path).c_str()) != INVALID_FILE_ATTRIBUTES;
}

}  // namespace quillmar
