#include "CMprisService.h"

#include "CDirector.h"
#include "CSongCollector.h"
#include "CSongCtrl.h"

#include <gio/gio.h>
#include <unistd.h>

#include <algorithm>
#include <iterator>
#include <string>

namespace {

const char* const OBJECT_PATH = "/org/mpris/MediaPlayer2";
const char* const ROOT_IFACE = "org.mpris.MediaPlayer2";
const char* const PLAYER_IFACE = "org.mpris.MediaPlayer2.Player";
const char* const BUS_NAME = "org.mpris.MediaPlayer2.chipdisk";

// GDBus checks every incoming call and property write against this description
// and answers anything else with the standard error, before our handlers run.
const char* const INTROSPECTION = R"(
<node>
  <interface name="org.mpris.MediaPlayer2">
    <method name="Raise"/>
    <method name="Quit"/>
    <property name="CanQuit" type="b" access="read"/>
    <property name="CanRaise" type="b" access="read"/>
    <property name="HasTrackList" type="b" access="read"/>
    <property name="Identity" type="s" access="read"/>
    <property name="DesktopEntry" type="s" access="read"/>
    <property name="SupportedUriSchemes" type="as" access="read"/>
    <property name="SupportedMimeTypes" type="as" access="read"/>
  </interface>
  <interface name="org.mpris.MediaPlayer2.Player">
    <method name="Next"/>
    <method name="Previous"/>
    <method name="Pause"/>
    <method name="PlayPause"/>
    <method name="Stop"/>
    <method name="Play"/>
    <method name="Seek"><arg direction="in" name="Offset" type="x"/></method>
    <method name="SetPosition">
      <arg direction="in" name="TrackId" type="o"/>
      <arg direction="in" name="Position" type="x"/>
    </method>
    <method name="OpenUri"><arg direction="in" name="Uri" type="s"/></method>
    <signal name="Seeked"><arg name="Position" type="x"/></signal>
    <property name="PlaybackStatus" type="s" access="read"/>
    <property name="LoopStatus" type="s" access="readwrite"/>
    <property name="Shuffle" type="b" access="readwrite"/>
    <property name="Rate" type="d" access="readwrite"/>
    <property name="Metadata" type="a{sv}" access="read"/>
    <property name="Volume" type="d" access="readwrite"/>
    <property name="Position" type="x" access="read"/>
    <property name="MinimumRate" type="d" access="read"/>
    <property name="MaximumRate" type="d" access="read"/>
    <property name="CanGoNext" type="b" access="read"/>
    <property name="CanGoPrevious" type="b" access="read"/>
    <property name="CanPlay" type="b" access="read"/>
    <property name="CanPause" type="b" access="read"/>
    <property name="CanSeek" type="b" access="read"/>
    <property name="CanControl" type="b" access="read"/>
  </interface>
</node>)";

// what the sound layer plays, as the desktop names it
const char* const MIME_TYPES[] = {"audio/x-mod", "audio/x-xm",      "audio/x-s3m",   "audio/x-it",  "audio/prs.sid",
                                  "audio/x-nsf", "audio/x-nsfe",    "audio/x-spc",   "audio/x-gbs", "audio/x-vgm",
                                  "audio/x-vgz", "audio/x-gym",     "audio/x-ay",    "audio/x-kss", "audio/x-hes",
                                  "audio/x-sap", "audio/x-mpegurl", "audio/x-scpls", nullptr};
const char* const URI_SCHEMES[] = {"file", nullptr};

int statusNow() { return songCtrl ? static_cast<int>(songCtrl->playback()) : static_cast<int>(Playback::Stopped); }

// the bus's names of the repeat modes, in their order
const char* const LOOP_NAMES[] = {"Track", "Playlist", "None"};

int repeatNow() { return songCtrl ? static_cast<int>(songCtrl->getRepeat()) : 0; }

bool shuffleNow() { return songCtrl && songCtrl->getShuffle(); }

const char* statusName(int status) {
    switch (static_cast<Playback>(status)) {
        case Playback::Playing:
            return "Playing";
        case Playback::Paused:
            return "Paused";
        case Playback::Stopped:
            break;
    }
    return "Stopped";
}

// The current song's place, unique in the run: a place in an older list is stale.
std::string trackId() {
    return "/org/chipdisk/list" + std::to_string(songCtrl->listNumber()) + "/song" +
           std::to_string(songCtrl->getCurrentSong());
}

// A title as the desktop shows it: valid UTF-8, no control characters, no padding.
std::string cleanTag(const std::string& tag) {
    gchar* valid = g_utf8_make_valid(tag.c_str(), static_cast<gssize>(tag.size()));
    std::string out;
    for (const gchar* c = valid; *c; c = g_utf8_next_char(c))
        if (!g_unichar_iscntrl(g_utf8_get_char(c))) out.append(c, static_cast<std::size_t>(g_utf8_next_char(c) - c));
    g_free(valid);
    const std::size_t first = out.find_first_not_of(" \t");
    return first == std::string::npos ? "" : out.substr(first, out.find_last_not_of(" \t") - first + 1);
}

GVariant* metadata() {
    GVariantBuilder b;
    g_variant_builder_init(&b, G_VARIANT_TYPE("a{sv}"));
    if (!songCtrl) {
        g_variant_builder_add(&b, "{sv}", "mpris:trackid",
                              g_variant_new_object_path("/org/mpris/MediaPlayer2/TrackList/NoTrack"));
        return g_variant_builder_end(&b);
    }
    const song_slot_t& song = songCtrl->getSongs().at(songCtrl->getCurrentSong());
    g_variant_builder_add(&b, "{sv}", "mpris:trackid", g_variant_new_object_path(trackId().c_str()));
    std::string title;
    std::string artist;
    songCtrl->songTags(title, artist);
    title = cleanTag(title);
    artist = cleanTag(artist);
    g_variant_builder_add(&b, "{sv}", "xesam:title",
                          g_variant_new_string(title.empty() ? song.name.c_str() : title.c_str()));
    if (!artist.empty()) {
        const gchar* artists[] = {artist.c_str(), nullptr};
        g_variant_builder_add(&b, "{sv}", "xesam:artist", g_variant_new_strv(artists, -1));
    }
    const gint64 length = 1000 * gint64(songCtrl->lengthMs());
    if (length > 0) g_variant_builder_add(&b, "{sv}", "mpris:length", g_variant_new_int64(length));
    // song paths are relative to the working folder
    gchar* absolute = g_canonicalize_filename(song.path.c_str(), nullptr);
    gchar* folder = g_path_get_dirname(absolute);
    gchar* album = g_path_get_basename(folder);
    if (g_strcmp0(album, "/") != 0) g_variant_builder_add(&b, "{sv}", "xesam:album", g_variant_new_string(album));
    gchar* uri = g_filename_to_uri(absolute, nullptr, nullptr);
    if (uri) g_variant_builder_add(&b, "{sv}", "xesam:url", g_variant_new_string(uri));
    g_free(uri);
    g_free(album);
    g_free(folder);
    g_free(absolute);
    return g_variant_builder_end(&b);
}

}  // namespace

struct CMprisService::Callbacks {
    static void method(GDBusConnection*, const gchar*, const gchar*, const gchar* iface, const gchar* name,
                       GVariant* args, GDBusMethodInvocation* call, gpointer data) {
        auto* self = static_cast<CMprisService*>(data);
        const std::string m = name;
        if (g_strcmp0(iface, ROOT_IFACE) == 0) {
            if (m == "Raise" && self->hooks.raise) self->hooks.raise();
            if (m == "Quit" && self->hooks.quit) self->hooks.quit();
        } else if (m == "OpenUri") {
            const gchar* uri = nullptr;
            g_variant_get(args, "(&s)", &uri);
            gchar* path = g_filename_from_uri(uri, nullptr, nullptr);
            bool played = false;
            if (path && songCtrl) {
                // a folder or a playlist becomes the song list, as a drop does
                if (g_file_test(path, G_FILE_TEST_IS_DIR) || CSongCollector::isPlaylist(path)) {
                    played = g_file_test(path, G_FILE_TEST_EXISTS);
                    if (played) songCtrl->replaceSongs({path});
                } else {
                    played = songCtrl->openFile(path);
                }
            }
            g_free(path);
            if (!played) {
                g_dbus_method_invocation_return_error(call, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS, "cannot play %s",
                                                      uri);
                return;
            }
        } else if (m == "Seek" && songCtrl) {
            gint64 offset = 0;
            g_variant_get(args, "(x)", &offset);
            const gint64 target = std::max<gint64>(0, 1000 * gint64(songCtrl->positionMs()) + offset);
            const gint64 length = 1000 * gint64(songCtrl->lengthMs());
            // past the end is the next song's business
            if (length > 0 && target > length)
                songCtrl->playNext();
            else if (songCtrl->seekTo(static_cast<int>(target / 1000)))
                self->seeked();
        } else if (m == "SetPosition" && songCtrl) {
            const gchar* track = nullptr;
            gint64 position = 0;
            g_variant_get(args, "(&ox)", &track, &position);
            const gint64 length = 1000 * gint64(songCtrl->lengthMs());
            // a stale song or a place outside it does nothing
            if (trackId() == track && position >= 0 && position <= length &&
                songCtrl->seekTo(static_cast<int>(position / 1000)))
                self->seeked();
        } else if (songCtrl) {
            if (m == "Next") songCtrl->playNext();
            if (m == "Previous") songCtrl->playPrev();
            if (m == "Play") songCtrl->play();
            if (m == "Pause") songCtrl->pause();
            if (m == "Stop") songCtrl->stop();
            if (m == "PlayPause") songCtrl->playPause();
        }
        g_dbus_method_invocation_return_value(call, nullptr);
        self->poll();
    }

    static GVariant* get(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name, GError**,
                         gpointer) {
        const std::string p = name;
        if (p == "Identity" || p == "DesktopEntry") return g_variant_new_string("chipdisk");
        if (p == "SupportedUriSchemes") return g_variant_new_strv(URI_SCHEMES, -1);
        if (p == "SupportedMimeTypes") return g_variant_new_strv(MIME_TYPES, -1);
        if (p == "HasTrackList") return g_variant_new_boolean(FALSE);
        if (p == "CanGoNext") return g_variant_new_boolean(songCtrl && songCtrl->canGoNext());
        if (p == "CanGoPrevious") return g_variant_new_boolean(songCtrl && songCtrl->canGoPrevious());
        if (p == "CanSeek") return g_variant_new_boolean(songCtrl && songCtrl->canSeek());
        if (p == "PlaybackStatus") return g_variant_new_string(statusName(statusNow()));
        if (p == "LoopStatus") return g_variant_new_string(LOOP_NAMES[repeatNow()]);
        if (p == "Shuffle") return g_variant_new_boolean(shuffleNow());
        if (p == "Metadata") return metadata();
        if (p == "Position") return g_variant_new_int64(songCtrl ? 1000 * gint64(songCtrl->positionMs()) : 0);
        if (p == "Rate" || p == "MinimumRate" || p == "MaximumRate" || p == "Volume") return g_variant_new_double(1.0);
        return g_variant_new_boolean(TRUE);  // the other Can* and CanQuit, CanRaise
    }

    // Rate and Volume stay 1.0; a rate of 0 pauses, as the interface asks. LoopStatus
    // and Shuffle set the repeat mode and shuffle, remembered as a key's change is.
    static gboolean set(GDBusConnection*, const gchar*, const gchar*, const gchar*, const gchar* name, GVariant* value,
                        GError** error, gpointer data) {
        auto* self = static_cast<CMprisService*>(data);
        if (!songCtrl) return TRUE;
        if (g_strcmp0(name, "Rate") == 0 && g_variant_get_double(value) == 0.0) songCtrl->pause();
        if (g_strcmp0(name, "LoopStatus") == 0) {
            const char* wanted = g_variant_get_string(value, nullptr);
            const auto named = std::find_if(std::begin(LOOP_NAMES), std::end(LOOP_NAMES),
                                            [wanted](const char* n) { return g_strcmp0(n, wanted) == 0; });
            if (named == std::end(LOOP_NAMES)) {
                g_set_error(error, G_DBUS_ERROR, G_DBUS_ERROR_INVALID_ARGS, "no loop status %s", wanted);
                return FALSE;
            }
            songCtrl->setRepeat(static_cast<RepeatMode>(named - std::begin(LOOP_NAMES)));
            if (self->hooks.playModeChanged) self->hooks.playModeChanged();
        }
        if (g_strcmp0(name, "Shuffle") == 0) {
            songCtrl->setShuffle(g_variant_get_boolean(value));
            if (self->hooks.playModeChanged) self->hooks.playModeChanged();
        }
        self->poll();
        return TRUE;
    }

    static void busAcquired(GDBusConnection* conn, const gchar*, gpointer data) {
        auto* self = static_cast<CMprisService*>(data);
        if (self->connection) return;  // the instance name comes on the same connection
        self->connection = G_DBUS_CONNECTION(g_object_ref(conn));
        static const GDBusInterfaceVTable vtable = {method, get, set, {}};
        for (int i = 0; i < 2; i++)
            self->objectIds[i] = g_dbus_connection_register_object(conn, OBJECT_PATH, self->node->interfaces[i],
                                                                   &vtable, self, nullptr, nullptr);
        self->lastStatus = statusNow();
        self->lastSong = songCtrl ? songCtrl->getCurrentSong() : -1;
        self->lastRepeat = repeatNow();
        self->lastShuffle = shuffleNow();
    }

    static void nameLost(GDBusConnection* conn, const gchar* name, gpointer data) {
        auto* self = static_cast<CMprisService*>(data);
        // no bus at all: run as without one. The shared name taken: another
        // chipdisk runs, so this one takes a name of its own.
        if (!conn || self->ownerIds[1] || g_strcmp0(name, BUS_NAME) != 0) return;
        const std::string instance = std::string(BUS_NAME) + ".instance" + std::to_string(getpid());
        self->ownerIds[1] = g_bus_own_name_on_connection(conn, instance.c_str(), G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
                                                         nullptr, nameLost, self, nullptr);
    }
};

CMprisService::CMprisService(Hooks h) : hooks(std::move(h)) {
    node = g_dbus_node_info_new_for_xml(INTROSPECTION, nullptr);
    ownerIds[0] = g_bus_own_name(G_BUS_TYPE_SESSION, BUS_NAME, G_BUS_NAME_OWNER_FLAGS_DO_NOT_QUEUE,
                                 Callbacks::busAcquired, nullptr, Callbacks::nameLost, this, nullptr);
}

CMprisService::~CMprisService() {
    for (unsigned id : ownerIds)
        if (id) g_bus_unown_name(id);
    if (connection) {
        for (unsigned id : objectIds)
            if (id) g_dbus_connection_unregister_object(connection, id);
        g_object_unref(connection);
    }
    g_dbus_node_info_unref(node);
}

void CMprisService::seeked() {
    lastPositionMs = songCtrl ? songCtrl->positionMs() : 0;
    if (!connection) return;
    g_dbus_connection_emit_signal(connection, nullptr, OBJECT_PATH, PLAYER_IFACE, "Seeked",
                                  g_variant_new("(x)", 1000 * gint64(lastPositionMs)), nullptr);
}

void CMprisService::poll() {
    if (!connection) return;
    const int status = statusNow();
    const int song = songCtrl ? songCtrl->getCurrentSong() : -1;
    // a song on repeat that started again by itself jumped back as a seek does
    const int position = songCtrl ? songCtrl->positionMs() : 0;
    const bool restarted = song == lastSong && status == lastStatus && position + 500 < lastPositionMs;
    lastPositionMs = position;
    if (restarted) seeked();
    const int repeat = repeatNow();
    const int shuffle = shuffleNow();
    // whether a step or a seek would do anything changes with the song, the list and the modes
    const int steps = songCtrl ? songCtrl->canGoNext() + 2 * songCtrl->canGoPrevious() + 4 * songCtrl->canSeek() : 0;
    if (status == lastStatus && song == lastSong && repeat == lastRepeat && shuffle == lastShuffle &&
        steps == lastSteps)
        return;

    GVariantBuilder changed;
    g_variant_builder_init(&changed, G_VARIANT_TYPE("a{sv}"));
    if (status != lastStatus)
        g_variant_builder_add(&changed, "{sv}", "PlaybackStatus", g_variant_new_string(statusName(status)));
    if (song != lastSong) g_variant_builder_add(&changed, "{sv}", "Metadata", metadata());
    if (repeat != lastRepeat)
        g_variant_builder_add(&changed, "{sv}", "LoopStatus", g_variant_new_string(LOOP_NAMES[repeat]));
    if (shuffle != lastShuffle) g_variant_builder_add(&changed, "{sv}", "Shuffle", g_variant_new_boolean(shuffle));
    if (steps != lastSteps) {
        g_variant_builder_add(&changed, "{sv}", "CanGoNext", g_variant_new_boolean(steps & 1));
        g_variant_builder_add(&changed, "{sv}", "CanGoPrevious", g_variant_new_boolean((steps & 2) != 0));
        g_variant_builder_add(&changed, "{sv}", "CanSeek", g_variant_new_boolean((steps & 4) != 0));
    }
    lastStatus = status;
    lastSong = song;
    lastRepeat = repeat;
    lastShuffle = shuffle;
    lastSteps = steps;
    g_dbus_connection_emit_signal(connection, nullptr, OBJECT_PATH, "org.freedesktop.DBus.Properties",
                                  "PropertiesChanged", g_variant_new("(sa{sv}as)", PLAYER_IFACE, &changed, nullptr),
                                  nullptr);
}
