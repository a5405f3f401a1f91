#include "CSidDecoder.h"

#include <glib.h>
#include <sidplayfp/SidConfig.h>
#include <sidplayfp/SidDatabase.h>
#include <sidplayfp/SidInfo.h>
#include <sidplayfp/SidTune.h>
#include <sidplayfp/SidTuneInfo.h>
#include <sidplayfp/builders/residfp.h>
#include <sidplayfp/sidplayfp.h>

#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <memory>
#include <mutex>

namespace fs = std::filesystem;

namespace {

// read afresh each time: the tunes of a run may look here before and after it is set
std::string dataFolder() {
    const char* xdg = std::getenv("XDG_DATA_HOME");
    if (xdg && xdg[0] == '/') return std::string(xdg) + "/chipdisk";
    return std::string(g_get_home_dir()) + "/.local/share/chipdisk";
}

std::vector<std::uint8_t> romImage(const std::string& name, std::size_t size) {
    std::ifstream in(dataFolder() + "/sid-roms/" + name, std::ios::binary);
    std::vector<std::uint8_t> image((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (image.size() != size) image.clear();  // a wrong file is no ROM
    return image;
}

// The song-length database that covers the tune at `path`, if any.
std::string lengthDatabase(const std::string& path) {
    std::error_code ec;
    const std::string own = dataFolder() + "/Songlengths.md5";
    if (fs::is_regular_file(own, ec)) return own;
    for (fs::path folder = fs::path(path).parent_path(); !folder.empty(); folder = folder.parent_path()) {
        for (const char* name : {"Songlengths.md5", "DOCUMENTS/Songlengths.md5"})
            if (fs::is_regular_file(folder / name, ec)) return (folder / name).string();
        if (folder == folder.parent_path()) break;
    }
    return "";
}

// The tune's length in the database at `database` ("" for none), or 0. A database of a
// large collection takes a while to read: the last one read is kept.
int_least32_t lengthMs(const std::string& database, SidTune& tune) {
    static std::mutex lock;
    static std::string kept;
    static std::unique_ptr<SidDatabase> lengths;
    if (database.empty()) return 0;
    std::lock_guard<std::mutex> hold(lock);
    if (database != kept) {
        lengths = std::make_unique<SidDatabase>();
        kept = lengths->open(database.c_str()) ? database : "";
    }
    return kept.empty() ? 0 : lengths->lengthMs(tune);
}

// The emulation's first chip builds its filter tables, half a second of work: done once,
// by whichever thread meets a tune first (the song walk, as a rule), the others wait.
void buildFilterTables() {
    static std::once_flag once;
    std::call_once(once, [] {
        ReSIDfpBuilder chip("chipdisk");
        chip.create(1);
    });
}

// Whether the header's version and the offset of the tune's data are those of the format:
// libsidplayfp 2.4.2 reads the data from any offset the header names, past the file too.
bool headerWhole(const std::vector<char>& bytes) {
    if (bytes.size() < 8) return false;
    const auto* b = reinterpret_cast<const unsigned char*>(bytes.data());
    const unsigned version = b[4] << 8 | b[5];
    const unsigned dataOffset = b[6] << 8 | b[7];
    return version >= 1 && version <= 4 && dataOffset == (version == 1 ? 0x76u : 0x7Cu) &&
           bytes.size() > dataOffset + 2;
}

}  // namespace

bool CSidDecoder::takes(const unsigned char* head, std::size_t n) {
    return n >= 4 && (std::memcmp(head, "PSID", 4) == 0 || std::memcmp(head, "RSID", 4) == 0);
}

const char* const CSidDecoder::NEEDS_ROMS = "needs system ROMs";

std::vector<int> CSidDecoder::subsongsOf(const std::vector<char>& bytes, std::string& why) {
    if (!headerWhole(bytes)) {
        why = "a broken SID header";
        return {};
    }
    SidTune tune(reinterpret_cast<const std::uint8_t*>(bytes.data()), static_cast<std::uint32_t>(bytes.size()));
    if (!tune.getStatus()) {
        why = tune.statusString();
        return {};
    }
    const SidTuneInfo* info = tune.getInfo();
    if (info->compatibility() == SidTuneInfo::COMPATIBILITY_BASIC && romImage("basic", 8192).empty()) {
        why = NEEDS_ROMS;
        return {};
    }
    buildFilterTables();
    const int count = static_cast<int>(info->songs());
    const int first = static_cast<int>(info->startSong()) - 1;
    return listed(count, first >= 0 && first < count ? first : 0);
}

CSidDecoder::CSidDecoder() = default;
CSidDecoder::~CSidDecoder() = default;

std::unique_ptr<CDecoder> CSidDecoder::open(const std::vector<char>& bytes, int subsong, const std::string& path,
                                            std::string& why) {
    if (!headerWhole(bytes)) {
        why = "a broken SID header";
        return nullptr;
    }
    std::unique_ptr<CSidDecoder> dec(new CSidDecoder);
    dec->tune = std::make_unique<SidTune>(reinterpret_cast<const std::uint8_t*>(bytes.data()),
                                          static_cast<std::uint32_t>(bytes.size()));
    if (!dec->tune->getStatus()) {
        why = dec->tune->statusString();
        return nullptr;
    }
    const SidTuneInfo* info = dec->tune->getInfo();
    dec->count = static_cast<int>(info->songs());
    dec->first = static_cast<int>(info->startSong()) - 1;
    if (dec->first < 0 || dec->first >= dec->count) dec->first = 0;
    dec->song = subsong < 0 ? dec->first : subsong;
    if (dec->song >= dec->count) {
        why = "no subsong " + std::to_string(dec->song + 1);
        return nullptr;
    }
    dec->basic = romImage("basic", 8192);
    if (info->compatibility() == SidTuneInfo::COMPATIBILITY_BASIC && dec->basic.empty()) {
        why = NEEDS_ROMS;
        return nullptr;
    }
    dec->kernal = romImage("kernal", 8192);
    dec->chargen = romImage("chargen", 4096);
    if (info->numberOfInfoStrings() > 0) dec->title = toUtf8(info->infoString(0));
    if (info->numberOfInfoStrings() > 1) dec->artist = toUtf8(info->infoString(1));
    if (!dec->start(why)) return nullptr;
    const int_least32_t ms = lengthMs(lengthDatabase(path), *dec->tune);
    if (ms > 0) dec->lengthSeconds = ms / 1000.0;
    return dec;
}

// From the tune's start: a fresh machine, the tune's init routine for the song.
bool CSidDecoder::start(std::string& why) {
    engine = std::make_unique<sidplayfp>();
    engine->setRoms(kernal.empty() ? nullptr : kernal.data(), basic.empty() ? nullptr : basic.data(),
                    chargen.empty() ? nullptr : chargen.data());
    buildFilterTables();
    chip = std::make_unique<ReSIDfpBuilder>("chipdisk");
    chip->create(engine->info().maxsids());
    if (!chip->getStatus()) {
        why = chip->error();
        return false;
    }
    chip->filter(true);
    SidConfig config;
    config.frequency = RATE;
    config.playback = SidConfig::MONO;
    config.samplingMethod = SidConfig::INTERPOLATE;
    config.fastSampling = true;
    config.powerOnDelay = 0;  // the default is random: a tune must sound the same every time
    config.sidEmulation = chip.get();
    tune->selectSong(static_cast<unsigned>(song + 1));
    if (!engine->config(config) || !engine->load(tune.get())) {
        why = engine->error();
        return false;
    }
    played = 0;
    return true;
}

int CSidDecoder::render(float* stereo, int frames) {
    samples.resize(static_cast<std::size_t>(frames));
    const auto got = static_cast<int>(engine->play(samples.data(), static_cast<std::uint_least32_t>(frames)));
    for (int i = 0; i < got; i++) stereo[2 * i] = stereo[2 * i + 1] = samples[i] / 32768.0f;
    return got;  // fewer only when the emulation failed: the song has ended
}

bool CSidDecoder::seekTo(double seconds) {
    std::string why;
    return seconds == 0 && start(why);
}

double CSidDecoder::position() const { return static_cast<double>(played) / RATE; }

std::vector<int> CSidDecoder::subsongs() const { return listed(count, first); }

void CSidDecoder::tags(std::string& t, std::string& a) const {
    t = title;
    a = artist;
}
