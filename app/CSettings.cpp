#include "CSettings.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <glib.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>
#include <system_error>
#include <utility>

namespace {

const char* const kWhitespace = " \t\r\n\f\v";

std::string trim(const std::string& s) {
    const auto first = s.find_first_not_of(kWhitespace);
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(kWhitespace) - first + 1);
}

std::string lower(std::string s) {
    for (char& c : s)
        if (c >= 'A' && c <= 'Z') c = char(c - 'A' + 'a');
    return s;
}

std::string errorText(int err) { return std::generic_category().message(err); }

bool parseBool(const std::string& text, bool& on) {
    const std::string t = lower(text);
    if (t == "true" || t == "on" || t == "yes" || t == "1") {
        on = true;
        return true;
    }
    if (t == "false" || t == "off" || t == "no" || t == "0") {
        on = false;
        return true;
    }
    return false;
}

// Whole-string ints only: "12px", "" and anything past int's range are not numbers here.
bool parseInt(const std::string& text, int& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    const long v = std::strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < INT_MIN || v > INT_MAX) return false;
    value = int(v);
    return true;
}

// The whole file, or errno of what stopped it (ENOENT: there is none).
int readAll(const std::string& path, std::string& text) {
    const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) return errno;
    struct stat st {};
    int err = 0;
    if (::fstat(fd, &st) != 0)
        err = errno;
    else if (S_ISDIR(st.st_mode))
        err = EISDIR;
    char buf[4096];
    while (err == 0) {
        const ssize_t n = ::read(fd, buf, sizeof buf);
        if (n > 0)
            text.append(buf, std::size_t(n));
        else if (n == 0)
            break;
        else if (errno != EINTR)
            err = errno;
    }
    ::close(fd);
    return err;
}

int writeAll(int fd, const std::string& text) {
    std::size_t done = 0;
    while (done < text.size()) {
        const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return n < 0 ? errno : EIO;
        done += std::size_t(n);
    }
    return 0;
}

}  // namespace

std::string CSettings::defaultPath() { return std::string(g_get_user_config_dir()) + "/chipdisk/chipdisk.conf"; }

CSettings::CSettings(std::string path) : path(std::move(path)) {}

void CSettings::setWindowPosition(int left, int top) {
    hasPosition = true;
    x = left;
    y = top;
}

bool CSettings::parseRepeat(const std::string& text, Repeat& r) {
    const std::string t = lower(text);
    for (Repeat each : {Repeat::Song, Repeat::List, Repeat::None})
        if (t == repeatModeName(each)) {
            r = each;
            return true;
        }
    return false;
}

// Messages name the file the way users would type it.
std::string CSettings::shownPath() const {
    const char* home = std::getenv("HOME");
    const std::string h = home ? home : "";
    if (h.size() > 1 && path.size() > h.size() && path.compare(0, h.size(), h) == 0 && path[h.size()] == '/')
        return "~" + path.substr(h.size());
    return path;
}

std::string CSettings::load() {
    lines.clear();
    repeatMode = Repeat::Song;
    shuffleOn = false;
    hasPosition = false;
    x = y = 0;

    std::string text;
    const int err = readAll(path, text);
    if (err == ENOENT) return "";
    if (err != 0) return shownPath() + ": cannot read: " + errorText(err);

    std::string first;
    int problems = 0;
    auto complain = [&](int lineNo, const std::string& what) {
        if (problems++ == 0) first = shownPath() + " line " + std::to_string(lineNo) + ": " + what;
    };
    bool haveX = false;
    bool haveY = false;
    int lineNo = 0;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        Line line{text.substr(start, end - start), Key::Other};
        start = end + 1;
        ++lineNo;

        const std::string t = trim(line.text);
        const auto eq = t.find('=');
        if (t.empty() || t[0] == '#') {
            // the user's notes and spacing, written back untouched
        } else if (eq == std::string::npos || trim(t.substr(0, eq)).empty()) {
            complain(lineNo, "expected key = value");
        } else {
            const std::string key = trim(t.substr(0, eq));
            const std::string value = trim(t.substr(eq + 1));
            // A bad value counts as no line at all: parsing leaves the setting as it was.
            if (key == "repeat") {
                line.key = Key::Repeat;
                if (!parseRepeat(value, repeatMode)) complain(lineNo, "repeat must be song, list or none");
            } else if (key == "shuffle") {
                line.key = Key::Shuffle;
                if (!parseBool(value, shuffleOn)) complain(lineNo, "shuffle must be true or false");
            } else if (key == "window_x" || key == "window_y") {
                const bool isX = key == "window_x";
                line.key = isX ? Key::WindowX : Key::WindowY;
                if (parseInt(value, isX ? x : y))
                    (isX ? haveX : haveY) = true;
                else
                    complain(lineNo, key + " must be a whole number");
            }
        }
        lines.push_back(std::move(line));
    }
    // Half a position is no position: the window goes where the desktop puts it.
    hasPosition = haveX && haveY;
    if (!hasPosition) x = y = 0;
    if (problems > 1) first += " (and " + std::to_string(problems - 1) + " more)";
    return first;
}

std::string CSettings::render() const {
    auto valueOf = [this](Key k) -> std::string {
        switch (k) {
            case Key::Repeat:
                return repeatModeName(repeatMode);
            case Key::Shuffle:
                return shuffleOn ? "true" : "false";
            case Key::WindowX:
                return std::to_string(x);
            case Key::WindowY:
                return std::to_string(y);
            case Key::Other:
                break;
        }
        return "";
    };
    auto nameOf = [](Key k) -> const char* {
        switch (k) {
            case Key::Repeat:
                return "repeat";
            case Key::Shuffle:
                return "shuffle";
            case Key::WindowX:
                return "window_x";
            case Key::WindowY:
                return "window_y";
            case Key::Other:
                break;
        }
        return "";
    };
    auto remembered = [this](Key k) { return hasPosition || (k != Key::WindowX && k != Key::WindowY); };

    std::string out;
    bool written[5] = {};
    for (const Line& line : lines) {
        if (line.key == Key::Other) {
            out += line.text + "\n";
        } else if (remembered(line.key)) {
            out += std::string(nameOf(line.key)) + " = " + valueOf(line.key) + "\n";
            written[int(line.key)] = true;
        }
    }
    for (Key k : {Key::Repeat, Key::Shuffle, Key::WindowX, Key::WindowY})
        if (!written[int(k)] && remembered(k)) out += std::string(nameOf(k)) + " = " + valueOf(k) + "\n";
    return out;
}

std::string CSettings::save() const {
    const std::string text = render();
    const std::string why = "cannot write " + shownPath() + ": ";
    const auto slash = path.rfind('/');
    const std::string folder = slash == std::string::npos ? "." : slash == 0 ? "/" : path.substr(0, slash);
    std::error_code ec;
    std::filesystem::create_directories(folder, ec);
    if (ec) return why + ec.message();

    // Beside the file, so the rename stays on one file system and cannot half happen.
    std::string temp = path + ".XXXXXX";
    const int fd = ::mkostemp(temp.data(), O_CLOEXEC);
    if (fd < 0) return why + errorText(errno);
    struct stat old {};
    const mode_t mode = ::stat(path.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
    int err = writeAll(fd, text);
    if (err == 0 && ::fchmod(fd, mode) != 0) err = errno;
    if (err == 0 && ::fsync(fd) != 0) err = errno;
    if (::close(fd) != 0 && err == 0) err = errno;
    if (err == 0 && ::rename(temp.c_str(), path.c_str()) != 0) err = errno;
    if (err != 0) {
        ::unlink(temp.c_str());
        return why + errorText(err);
    }
    // The rename itself lives in the folder: flush that too, or a crash may undo it.
    const int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    return "";
}
