#include "Profile.h"

#include "FileIo.h"

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <fstream>
#include <sstream>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>
#include <vector>

namespace osplat {
namespace {

std::string trim(const std::string& s) {
    const char* blanks = " \t\r\n";
    const auto b = s.find_first_not_of(blanks);
    if (b == std::string::npos)
        return std::string();
    const auto e = s.find_last_not_of(blanks);
    return s.substr(b, e - b + 1);
}

bool sameName(const std::string& a, const std::string& b) {
    return a.size() == b.size() && strncasecmp(a.c_str(), b.c_str(), a.size()) == 0;
}

struct Lines {
    std::vector<std::string> lines; // without their line ends
    bool crlf = false;              // the file ends its lines with CR LF
    bool finalBreak = true;         // the last line had a line end
};

// false: the file exists but cannot be read.
bool readLines(const std::string& path, Lines& out) {
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        struct stat st;
        return ::stat(path.c_str(), &st) != 0 && errno == ENOENT;
    }
    std::stringstream ss;
    ss << in.rdbuf();
    std::string text = ss.str();
    if (text.rfind("\xEF\xBB\xBF", 0) == 0)
        text.erase(0, 3);
    out.crlf = text.find("\r\n") != std::string::npos;
    out.finalBreak = text.empty() || text.back() == '\n';
    std::size_t pos = 0;
    while (pos < text.size()) {
        auto nl = text.find('\n', pos);
        if (nl == std::string::npos)
            nl = text.size();
        std::string line = text.substr(pos, nl - pos);
        if (!line.empty() && line.back() == '\r')
            line.pop_back();
        out.lines.push_back(std::move(line));
        pos = nl + 1;
    }
    return true;
}

// A section header's name, or false when the line is none.
bool sectionName(const std::string& line, std::string& name) {
    const std::string t = trim(line);
    if (t.size() < 2 || t.front() != '[')
        return false;
    const auto close = t.find(']');
    name = trim(t.substr(1, close == std::string::npos ? std::string::npos : close - 1));
    return true;
}

bool isComment(const std::string& t) {
    return !t.empty() && (t.front() == ';' || t.front() == '#');
}

// A key line's key and value, or false for blanks, comments and lines without '='.
bool keyValue(const std::string& line, std::string& key, std::string& value) {
    const std::string t = trim(line);
    if (t.empty() || isComment(t))
        return false;
    const auto eq = t.find('=');
    if (eq == std::string::npos)
        return false;
    key = trim(t.substr(0, eq));
    value = trim(t.substr(eq + 1));
    return true;
}

// Index of the first header of `section`, or -1.
long findSection(const Lines& f, const std::string& section) {
    std::string name;
    for (std::size_t i = 0; i < f.lines.size(); ++i) {
        if (sectionName(f.lines[i], name) && sameName(name, section))
            return long(i);
    }
    return -1;
}

// One past the last line of the section whose header is at `header`.
std::size_t sectionEnd(const Lines& f, std::size_t header) {
    std::string name;
    std::size_t i = header + 1;
    while (i < f.lines.size() && !sectionName(f.lines[i], name))
        ++i;
    return i;
}

// Cuts `s` to at most `limit` bytes without splitting a UTF-8 sequence.
std::string cut(const std::string& s, std::size_t limit) {
    if (s.size() <= limit)
        return s;
    std::size_t n = limit;
    // Step back over continuation bytes to the start of the sequence that does not fit.
    while (n > 0 && (static_cast<unsigned char>(s[n]) & 0xC0) == 0x80)
        --n;
    return s.substr(0, n);
}

bool writeLines(const std::string& path, const Lines& f) {
    const std::string eol = f.crlf ? "\r\n" : "\n";
    std::string text;
    for (std::size_t i = 0; i < f.lines.size(); ++i) {
        text += f.lines[i];
        if (i + 1 < f.lines.size() || f.finalBreak)
            text += eol;
    }

    struct stat st;
    mode_t mode = 0;
    if (::stat(path.c_str(), &st) == 0) {
        mode = st.st_mode & 07777;
    } else {
        const mode_t mask = ::umask(0);
        ::umask(mask);
        mode = 0666 & ~mask;
    }
    std::string tmp = path + ".XXXXXX";
    const int fd = ::mkstemp(tmp.data());
    if (fd < 0)
        return false; // the folder is missing or not writable
    bool ok = ::fchmod(fd, mode) == 0 && writeAll(fd, text.data(), text.size());
    ok = ::fsync(fd) == 0 && ok;
    ok = ::close(fd) == 0 && ok;
    if (ok)
        ok = ::rename(tmp.c_str(), path.c_str()) == 0;
    if (!ok)
        ::unlink(tmp.c_str());
    return ok;
}

} // namespace

std::string readProfileString(const std::string& section, const std::string& key,
                              const std::string& defaultValue, std::size_t room,
                              const std::string& path) {
    if (room == 0)
        return std::string();
    std::string result = defaultValue;
    Lines f;
    if (readLines(path, f)) {
        const long header = findSection(f, section);
        if (header >= 0) {
            const std::size_t end = sectionEnd(f, std::size_t(header));
            std::string k, v;
            for (std::size_t i = std::size_t(header) + 1; i < end; ++i) {
                if (keyValue(f.lines[i], k, v) && sameName(k, key)) {
                    if (v.size() >= 2 && (v.front() == '"' || v.front() == '\'') &&
                        v.back() == v.front())
                        v = v.substr(1, v.size() - 2);
                    result = v;
                    break;
                }
            }
        }
    }
    return cut(result, room - 1);
}

int readProfileInt(const std::string& section, const std::string& key, int defaultValue,
                   const std::string& path) {
    const std::string v = readProfileString(section, key, std::string(), 64, path);
    if (v.empty())
        return defaultValue;
    errno = 0;
    char* end = nullptr;
    const long n = std::strtol(v.c_str(), &end, 10);
    if (end == v.c_str() || errno == ERANGE || n < INT32_MIN || n > INT32_MAX)
        return defaultValue;
    return int(n);
}

bool writeProfileString(const std::string& section, const char* key, const char* value,
                        const std::string& path) {
    Lines f;
    if (!readLines(path, f))
        return false;
    const long header = findSection(f, section);
    if (!key) {
        if (header < 0)
            return true;
        const std::size_t end = sectionEnd(f, std::size_t(header));
        f.lines.erase(f.lines.begin() + header, f.lines.begin() + long(end));
        return writeLines(path, f);
    }
    const std::string line = std::string(key) + "=" + (value ? value : "");
    if (header < 0) {
        if (!value)
            return true;
        if (!f.lines.empty() && !trim(f.lines.back()).empty())
            f.lines.emplace_back();
        f.lines.push_back("[" + section + "]");
        f.lines.push_back(line);
        f.finalBreak = true;
        return writeLines(path, f);
    }
    const std::size_t end = sectionEnd(f, std::size_t(header));
    std::string k, v;
    for (std::size_t i = std::size_t(header) + 1; i < end; ++i) {
        if (keyValue(f.lines[i], k, v) && sameName(k, key)) {
            if (value)
                f.lines[i] = k + "=" + value;
            else
                f.lines.erase(f.lines.begin() + long(i));
            return writeLines(path, f);
        }
    }
    if (!value)
        return true;
    // A new key goes after the section's last non-blank line.
    std::size_t at = end;
    while (at > std::size_t(header) + 1 && trim(f.lines[at - 1]).empty())
        --at;
    f.lines.insert(f.lines.begin() + long(at), line);
    if (at == f.lines.size() - 1)
        f.finalBreak = true;
    return writeLines(path, f);
}

std::string programFolder() {
    std::vector<char> buf(4096);
    for (;;) {
        const ssize_t n = ::readlink("/proc/self/exe", buf.data(), buf.size());
        if (n < 0)
            return ".";
        if (std::size_t(n) < buf.size()) {
            std::string exe(buf.data(), std::size_t(n));
            const auto slash = exe.rfind('/');
            if (slash == std::string::npos)
                return ".";
            return slash == 0 ? "/" : exe.substr(0, slash);
        }
        buf.resize(buf.size() * 2);
    }
}

std::string deploySetting(const std::string& key, const std::string& defaultValue,
                          const std::string& folder) {
    const std::string dir = folder.empty() ? programFolder() : folder;
    return readProfileString("Deploy", key, defaultValue, 1024, dir + "/deploy.ini");
}

} // namespace osplat
