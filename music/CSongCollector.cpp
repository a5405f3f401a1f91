#include "CSongCollector.h"

#include <dirent.h>
#include <glib.h>
#include <sys/stat.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <map>

namespace {

// Playlists larger than this are not playlists.
const std::streamsize MAX_PLAYLIST_BYTES = 16 << 20;
const int MAX_PLAYLIST_DEPTH = 8;

bool isDigit(char c) { return c >= '0' && c <= '9'; }

std::string folded(const std::string& name) {
    if (!g_utf8_validate(name.data(), static_cast<gssize>(name.size()), nullptr)) return name;
    gchar* f = g_utf8_casefold(name.data(), static_cast<gssize>(name.size()));
    std::string out(f);
    g_free(f);
    return out;
}

// <0, 0 or >0 as a sorts before, with or after b; digit runs by their value.
int compareNatural(const std::string& a, const std::string& b) {
    std::size_t i = 0;
    std::size_t j = 0;
    while (i < a.size() && j < b.size()) {
        if (isDigit(a[i]) && isDigit(b[j])) {
            std::size_t endA = i;
            std::size_t endB = j;
            while (endA < a.size() && isDigit(a[endA])) endA++;
            while (endB < b.size() && isDigit(b[endB])) endB++;
            // leading zeros say nothing of the value; the byte order breaks that tie later
            while (i + 1 < endA && a[i] == '0') i++;
            while (j + 1 < endB && b[j] == '0') j++;
            if (endA - i != endB - j) return endA - i < endB - j ? -1 : 1;
            const int digits = a.compare(i, endA - i, b, j, endB - j);
            if (digits != 0) return digits;
            i = endA;
            j = endB;
            continue;
        }
        const auto ca = static_cast<unsigned char>(a[i]);
        const auto cb = static_cast<unsigned char>(b[j]);
        if (ca != cb) return ca < cb ? -1 : 1;
        i++;
        j++;
    }
    return (i < a.size()) - (j < b.size());
}

struct SortKey {
    std::string key;
    std::string name;
};

bool keyLess(const SortKey& a, const SortKey& b) {
    const int c = compareNatural(a.key, b.key);
    return c != 0 ? c < 0 : a.name < b.name;
}

bool endsWithNoCase(const std::string& s, const std::string& tail) {
    return s.size() >= tail.size() &&
           std::equal(tail.begin(), tail.end(), s.end() - static_cast<std::ptrdiff_t>(tail.size()),
                      [](char x, char y) { return g_ascii_tolower(x) == g_ascii_tolower(y); });
}

std::string folderOf(const std::string& path) {
    const std::size_t slash = path.rfind('/');
    if (slash == std::string::npos) return ".";
    return slash == 0 ? "/" : path.substr(0, slash);
}

std::string joined(const std::string& folder, const std::string& name) {
    return !folder.empty() && folder.back() == '/' ? folder + name : folder + "/" + name;
}

std::string trimmed(const std::string& s) {
    const char* space = " \t\r\n";
    const std::size_t first = s.find_first_not_of(space);
    if (first == std::string::npos) return "";
    return s.substr(first, s.find_last_not_of(space) - first + 1);
}

// "scheme://..." with a scheme as URLs have them
bool isUrl(const std::string& s) {
    const std::size_t colon = s.find("://");
    if (colon == std::string::npos || colon == 0 || !g_ascii_isalpha(s[0])) return false;
    return std::all_of(s.begin(), s.begin() + static_cast<std::ptrdiff_t>(colon),
                       [](char c) { return g_ascii_isalnum(c) || c == '+' || c == '-' || c == '.'; });
}

// The entries of an M3U or PLS text, in their order.
std::vector<std::string> playlistEntries(std::string text, bool pls) {
    if (text.compare(0, 3, "\xEF\xBB\xBF") == 0) text.erase(0, 3);
    std::vector<std::string> lines;
    std::size_t start = 0;
    while (start < text.size()) {
        std::size_t end = text.find('\n', start);
        if (end == std::string::npos) end = text.size();
        lines.push_back(trimmed(text.substr(start, end - start)));
        start = end + 1;
    }
    std::vector<std::string> entries;
    if (!pls) {
        for (const std::string& line : lines)
            if (!line.empty() && line[0] != '#') entries.push_back(line);
        return entries;
    }
    std::multimap<long, std::string> numbered;  // FileN=..., by N
    for (const std::string& line : lines) {
        const std::size_t eq = line.find('=');
        if (eq == std::string::npos || eq < 5 || g_ascii_strncasecmp(line.c_str(), "file", 4) != 0) continue;
        const std::string number = line.substr(4, eq - 4);
        const std::string value = trimmed(line.substr(eq + 1));
        if (value.empty() || !std::all_of(number.begin(), number.end(), isDigit)) continue;
        numbered.emplace(std::strtol(number.c_str(), nullptr, 10), value);
    }
    for (const auto& e : numbered) entries.push_back(e.second);
    return entries;
}

}  // namespace

bool CSongCollector::naturalLess(const std::string& a, const std::string& b) {
    return keyLess({folded(a), a}, {folded(b), b});
}

bool CSongCollector::isPlaylist(const std::string& path) {
    return endsWithNoCase(path, ".m3u") || endsWithNoCase(path, ".m3u8") || endsWithNoCase(path, ".pls");
}

void CSongCollector::collect(const std::vector<std::string>& given, const Found& found) {
    for (const std::string& path : given) {
        struct stat st;
        const bool folder = stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
        const int before = sum.songs;
        const bool goOn = entry(path, 0, found);
        if (folder && sum.songs == before && !sum.capped) sum.songless.push_back(path);
        if (!goOn) return;
    }
}

// A regular file: its songs, or one more file that is none.
bool CSongCollector::take(const std::string& path, const Found& found) {
    Song song = look(path);
    if (song.needsRoms) {
        sum.needRoms++;
        return true;
    }
    if (song.subsongs.empty()) {
        sum.notSongs++;
        return true;
    }
    return take(path, std::move(song.subsongs), found);
}

bool CSongCollector::take(const std::string& path, std::vector<int> subsongs, const Found& found) {
    const std::size_t room = cap - std::min(cap, static_cast<std::size_t>(sum.songs));
    if (subsongs.size() > room) {
        sum.capped = true;
        subsongs.resize(room);
    }
    sum.songs += static_cast<int>(subsongs.size());
    if (subsongs.empty()) return false;
    return found(path, subsongs) && !sum.capped;
}

bool CSongCollector::entry(const std::string& path, int depth, const Found& found) {
    struct stat st;
    if (stat(path.c_str(), &st) != 0) {
        // a missing file given on the command line has been reported before the walk
        if (depth > 0) sum.missingEntries++;
        return true;
    }
    if (S_ISDIR(st.st_mode)) return walk(path, found);
    if (S_ISREG(st.st_mode) && isPlaylist(path)) return readPlaylist(path, depth + 1, found);
    // never open a pipe or a device: a read could block for ever
    if (S_ISREG(st.st_mode)) return take(path, found);
    sum.notSongs++;
    return true;
}

bool CSongCollector::walk(const std::string& folder, const Found& found) {
    struct stat st;
    if (stat(folder.c_str(), &st) != 0) {
        sum.unreadableFolders++;
        return true;
    }
    // a folder reached again through a link is walked once, so link loops end
    if (!seenFolders.insert({st.st_dev, st.st_ino}).second) return true;
    DIR* dir = opendir(folder.c_str());
    if (!dir) {
        sum.unreadableFolders++;
        return true;
    }
    std::vector<SortKey> names;
    while (const dirent* e = readdir(dir))
        if (e->d_name[0] != '.') names.push_back({folded(e->d_name), e->d_name});
    closedir(dir);
    std::sort(names.begin(), names.end(), keyLess);
    for (const SortKey& name : names) {
        const std::string path = joined(folder, name.name);
        struct stat es;
        if (stat(path.c_str(), &es) != 0) {
            sum.notSongs++;  // a link to nothing
            continue;
        }
        if (S_ISDIR(es.st_mode)) {
            if (!walk(path, found)) return false;
            continue;
        }
        // playlists in a walked folder are not read: their songs are there already
        if (!S_ISREG(es.st_mode))
            sum.notSongs++;
        else if (!take(path, found))
            return false;
    }
    return true;
}

bool CSongCollector::readPlaylist(const std::string& path, int depth, const Found& found) {
    struct stat st;
    if (depth > MAX_PLAYLIST_DEPTH || stat(path.c_str(), &st) != 0 || st.st_size > MAX_PLAYLIST_BYTES) {
        sum.unreadablePlaylists++;
        return true;
    }
    // a playlist that names itself, directly or not, is read once
    if (!seenPlaylists.insert({st.st_dev, st.st_ino}).second) return true;
    std::ifstream in(path, std::ios::binary);
    if (!in) {
        sum.unreadablePlaylists++;
        return true;
    }
    const std::string text{std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>()};
    const std::string folder = folderOf(path);
    for (const std::string& line : playlistEntries(text, endsWithNoCase(path, ".pls"))) {
        std::string target = line;
        if (g_str_has_prefix(line.c_str(), "file://")) {
            gchar* local = g_filename_from_uri(line.c_str(), nullptr, nullptr);
            target = local ? local : "";
            g_free(local);
            if (target.empty()) {
                sum.missingEntries++;
                continue;
            }
        } else if (isUrl(line)) {
            sum.urlEntries++;
            continue;
        } else if (line[0] != '/') {
            target = joined(folder, line);
        }
        if (!entry(target, depth, found)) return false;
    }
    return true;
}

std::vector<std::string> CSongCollector::summaryLines(const Summary& s) {
    std::vector<std::string> parts;
    auto count = [&parts](int n, const char* one, const char* many) {
        if (n == 1) parts.push_back(std::string("1 ") + one);
        if (n > 1) parts.push_back(std::to_string(n) + " " + many);
    };
    count(s.notSongs, "file is not a song", "files are not songs");
    count(s.needRoms, "tune needs system ROMs", "tunes need system ROMs");
    count(s.missingEntries, "playlist entry names no file", "playlist entries name no file");
    count(s.urlEntries, "playlist entry is a URL", "playlist entries are URLs");
    count(s.unreadableFolders, "folder could not be read", "folders could not be read");
    count(s.unreadablePlaylists, "playlist could not be read", "playlists could not be read");
    if (s.capped) parts.push_back("only the first " + std::to_string(s.songs) + " songs are listed");
    std::vector<std::string> lines;
    if (!parts.empty()) {
        std::string line = parts[0];
        for (std::size_t i = 1; i < parts.size(); i++) line += ", " + parts[i];
        lines.push_back(line);
    }
    for (const std::string& folder : s.songless) lines.push_back(folder + " holds no song");
    return lines;
}
