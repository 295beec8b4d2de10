#include "settings/ini_file.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <filesystem>
#include <optional>
#include <vector>

namespace {

constexpr std::string_view kBom = "\xEF\xBB\xBF";
constexpr std::string_view kBlanks = " \t";

std::string_view Trim(std::string_view s) {
  const auto first = s.find_first_not_of(kBlanks);
  if (first == std::string_view::npos)
    return {};
  const auto last = s.find_last_not_of(kBlanks);
  return s.substr(first, last - first + 1);
}

bool SameName(std::string_view a, std::string_view b) {
  if (a.size() != b.size())
    return false;
  for (size_t i = 0; i < a.size(); ++i) {
    unsigned char x = a[i], y = b[i];
    if (x >= 'A' && x <= 'Z')
      x += 'a' - 'A';
    if (y >= 'A' && y <= 'Z')
      y += 'a' - 'A';
    if (x != y)
      return false;
  }
  return true;
}

enum class TLineKind { Other, Section, Key };

struct TLineInfo {
  TLineKind Kind = TLineKind::Other;
  std::string_view Name;   // section or key name, trimmed
  std::string_view Value;  // key lines only, trimmed
};

TLineInfo Classify(std::string_view line) {
  TLineInfo info;
  const auto text = Trim(line);
  if (text.empty() || text.front() == ';' || text.front() == '#')
    return info;
  if (text.front() == '[') {
    const auto close = text.find(']');
    if (close != std::string_view::npos) {
      info.Kind = TLineKind::Section;
      info.Name = Trim(text.substr(1, close - 1));
    }
    return info;
  }
  const auto eq = text.find('=');
  if (eq == std::string_view::npos)
    return info;
  info.Name = Trim(text.substr(0, eq));
  if (info.Name.empty())
    return info;
  info.Kind = TLineKind::Key;
  info.Value = Trim(text.substr(eq + 1));
  return info;
}

// The file split into lines without their line ends; Eol is the line end the file uses.
struct TIniText {
  bool Bom = false;
  std::string Eol = "\n";
  std::vector<std::string> Lines;
};

TIniText Parse(std::string_view content) {
  TIniText text;
  if (content.substr(0, kBom.size()) == kBom) {
    text.Bom = true;
    content.remove_prefix(kBom.size());
  }
  size_t start = 0;
  bool first = true;
  while (start < content.size()) {
    auto end = content.find('\n', start);
    const bool terminated = end != std::string_view::npos;
    if (!terminated)
      end = content.size();
    auto line = content.substr(start, end - start);
    if (!line.empty() && line.back() == '\r') {
      line.remove_suffix(1);
      if (first && terminated)
        text.Eol = "\r\n";
    }
    first = false;
    text.Lines.emplace_back(line);
    start = end + 1;
  }
  return text;
}

// Where a key is, or where it would go. Key: index of the first line holding the key in a
// section of that name, if any. Insert: the line index after the last non-blank line of the
// first section of that name, if there is such a section.
struct TKeyPlace {
  std::optional<size_t> Key;
  std::optional<size_t> Insert;
};

TKeyPlace Locate(const TIniText& text, std::string_view section, std::string_view key) {
  TKeyPlace place;
  bool in_section = false;
  bool in_first_section = false;
  for (size_t i = 0; i < text.Lines.size(); ++i) {
    const auto info = Classify(text.Lines[i]);
    if (info.Kind == TLineKind::Section) {
      in_section = SameName(info.Name, section);
      in_first_section = in_section && !place.Insert;
      if (in_first_section)
        place.Insert = i + 1;
      continue;
    }
    if (in_first_section && !Trim(text.Lines[i]).empty())
      place.Insert = i + 1;
    if (in_section && info.Kind == TLineKind::Key && SameName(info.Name, key)) {
      place.Key = i;
      return place;
    }
  }
  return place;
}

enum class TReadResult { Ok, Missing, Failed };

TReadResult ReadWholeFile(const std::string& path, std::string& content, mode_t* mode) {
  content.clear();
  const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0)
    return errno == ENOENT || errno == ENOTDIR ? TReadResult::Missing : TReadResult::Failed;
  struct stat st {};
  if (::fstat(fd, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(fd);
    return TReadResult::Failed;
  }
  if (mode)
    *mode = st.st_mode & 07777;
  char buffer[16384];
  for (;;) {
    const ssize_t n = ::read(fd, buffer, sizeof buffer);
    if (n == 0)
      break;
    if (n < 0) {
      if (errno == EINTR)
        continue;
      ::close(fd);
      return TReadResult::Failed;
    }
    content.append(buffer, static_cast<size_t>(n));
  }
  ::close(fd);
  return TReadResult::Ok;
}

bool WriteAll(int fd, std::string_view data) {
  while (!data.empty()) {
    const ssize_t n = ::write(fd, data.data(), data.size());
    if (n < 0) {
      if (errno == EINTR)
        continue;
      return false;
    }
    data.remove_prefix(static_cast<size_t>(n));
  }
  return true;
}

// Replaces the file at path by data through a temporary file in the same folder.
bool ReplaceFile(const std::string& path, std::string_view data, std::optional<mode_t> mode) {
  const std::filesystem::path target(path);
  std::string temp = (target.parent_path() / ("." + target.filename().string() + ".XXXXXX"));
  const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0)
    return false;
  bool ok = ::fchmod(fd, mode.value_or(0644)) == 0 && WriteAll(fd, data) && ::fsync(fd) == 0;
  ok = ::close(fd) == 0 && ok;
  if (ok)
    ok = ::rename(temp.c_str(), path.c_str()) == 0;
  if (!ok) {
    ::unlink(temp.c_str());
    return false;
  }
  const auto folder = target.parent_path().empty() ? std::string(".")
                                                   : target.parent_path().string();
  if (const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC); dir >= 0) {
    ::fsync(dir);
    ::close(dir);
  }
  return true;
}

bool HasLineBreak(std::string_view s) {
  return s.find_first_of("\r\n") != std::string_view::npos;
}

}  // namespace

TIniFile::TIniFile(std::string AFileName) : FFileName(std::move(AFileName)) {}

std::string TIniFile::ReadString(std::string_view Section, std::string_view Key,
                                 std::string_view ADefault) const {
  std::string content;
  if (ReadWholeFile(FFileName, content, nullptr) != TReadResult::Ok)
    return std::string(ADefault);
  const auto text = Parse(content);
  const auto place = Locate(text, Trim(Section), Trim(Key));
  if (!place.Key)
    return std::string(ADefault);
  return std::string(Classify(text.Lines[*place.Key]).Value);
}

bool TIniFile::WriteString(std::string_view Section, std::string_view Key,
                           std::string_view Value) {
  try {
    Section = Trim(Section);
    Key = Trim(Key);
    if (Key.empty() || HasLineBreak(Section) || HasLineBreak(Key) || HasLineBreak(Value) ||
        Section.find(']') != std::string_view::npos || Key.find('=') != std::string_view::npos ||
        Key.front() == '[' || Key.front() == ';' || Key.front() == '#' ||
        Trim(Value).size() != Value.size())
      return false;

    // A symbolic link stays a link: the file it points at is replaced.
    std::string path = FFileName;
    std::error_code ec;
    if (std::filesystem::is_symlink(path, ec)) {
      const auto resolved = std::filesystem::weakly_canonical(path, ec);
      if (ec)
        return false;
      path = resolved.string();
    }

    std::string content;
    mode_t mode = 0;
    const auto read = ReadWholeFile(path, content, &mode);
    if (read == TReadResult::Failed)
      return false;
    auto text = Parse(content);

    std::string line = std::string(Key) + "=" + std::string(Value);
    const auto place = Locate(text, Section, Key);
    if (place.Key) {
      line = std::string(Classify(text.Lines[*place.Key]).Name) + "=" + std::string(Value);
      text.Lines[*place.Key] = std::move(line);
    } else if (place.Insert) {
      text.Lines.insert(text.Lines.begin() + static_cast<std::ptrdiff_t>(*place.Insert),
                        std::move(line));
    } else {
      text.Lines.push_back("[" + std::string(Section) + "]");
      text.Lines.push_back(std::move(line));
    }

    std::string out;
    if (text.Bom)
      out += kBom;
    for (const auto& l : text.Lines) {
      out += l;
      out += text.Eol;
    }
    return ReplaceFile(path, out,
                       read == TReadResult::Ok ? std::optional<mode_t>(mode) : std::nullopt);
  } catch (...) {
    // Out of memory or a file system error thrown by the library: reported as a failed write.
    return false;
  }
}
