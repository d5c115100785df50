#include "app/CommandLine.h"

#include <algorithm>
#include <array>
#include <utility>

namespace brivet {

namespace {

constexpr std::array<std::pair<const char*, InstanceCommand>, 7> kVerbs = {{
    {"--toggle", InstanceCommand::Toggle},
    {"--show", InstanceCommand::Show},
    {"--hide", InstanceCommand::Hide},
    {"--settings", InstanceCommand::OpenSettings},
    {"--quit", InstanceCommand::Quit},
    {"--pause", InstanceCommand::PauseRecording},
    {"--resume", InstanceCommand::ResumeRecording},
}};

// A pause of a week at most: longer is "until resumed".
constexpr int kMaxPauseMinutes = 7 * 24 * 60;

} // namespace

CommandLine CommandLine::parse(const QStringList& arguments)
{
    CommandLine result;
    for (qsizetype i = 0; i < arguments.size(); ++i) {
        const QString& argument = arguments.at(i);
        CommandLine next;
        if (argument == QLatin1String("--help") || argument == QLatin1String("-h")) {
            next.action = Action::Help;
        } else if (argument == QLatin1String("--version")) {
            next.action = Action::Version;
        } else if (argument == QLatin1String("--export") || argument == QLatin1String("--import")) {
            if (i + 1 >= arguments.size() || arguments.at(i + 1).isEmpty()) {
                result.error = QStringLiteral("%1 takes a FILE").arg(argument);
                return result;
            }
            next.action = Action::Archive;
            next.archiveAction = argument == QLatin1String("--export")
                                     ? InstanceChannel::ArchiveAction::Export
                                     : InstanceChannel::ArchiveAction::Import;
            next.archivePath = arguments.at(++i);
        } else {
            const auto verb = std::find_if(kVerbs.begin(), kVerbs.end(), [&](const auto& entry) {
                return argument == QLatin1String(entry.first);
            });
            if (verb == kVerbs.end()) {
                result.error = QStringLiteral("unknown option '%1'").arg(argument);
                return result;
            }
            next.action = Action::Send;
            next.command = verb->second;
            // --pause takes an optional number of minutes.
            bool isNumber = false;
            const int minutes = i + 1 < arguments.size() ? arguments.at(i + 1).toInt(&isNumber) : 0;
            if (next.command == InstanceCommand::PauseRecording && isNumber) {
                if (minutes < 1 || minutes > kMaxPauseMinutes) {
                    result.error = QStringLiteral("--pause takes 1 to %1 minutes").arg(kMaxPauseMinutes);
                    return result;
                }
                next.minutes = minutes;
                ++i;
            }
        }
        // --help wins over everything; otherwise one thing at a time.
        if (result.action == Action::Help || next.action == Action::Help) {
            result.action = Action::Help;
        } else if (result.action != Action::Run) {
            result.error = QStringLiteral("one option at a time");
            return result;
        } else {
            result = next;
        }
    }
    return result;
}

QString CommandLine::usage()
{
    return QStringLiteral(
        "Usage: brivet [OPTION]\n"
        "Clipboard history for the Linux desktop.\n"
        "\n"
        "Without an option, starts Brivet (one per session). With one, asks the running\n"
        "Brivet to:\n"
        "  --toggle     show the history panel, or hide it when it is shown\n"
        "  --show       show the history panel\n"
        "  --hide       hide the history panel\n"
        "  --settings   open the settings window\n"
        "  --quit       quit (returns once Brivet has ended)\n"
        "  --pause [MINUTES]\n"
        "               stop recording what is copied, for MINUTES (1 to 10080) or until\n"
        "               --resume; what is on the clipboard when recording resumes is not\n"
        "               recorded either\n"
        "  --resume     record again\n"
        "  --export FILE\n"
        "               write the whole history (items, categories, pins and their bytes)\n"
        "               to FILE, a tar archive\n"
        "  --import FILE\n"
        "               add the items and categories of such an archive that the history\n"
        "               lacks, keeping their times; a damaged archive is refused whole\n"
        "\n"
        "  --help       print this help\n"
        "  --version    print the version\n"
        "\n"
        "Desktops: on X11 everything works. On Wayland, sway and the other wlroots\n"
        "compositors record, restore, paste and credit copies natively; KDE Plasma (KWin)\n"
        "records, restores and pastes (no credit); GNOME does all of it through Brivet's\n"
        "GNOME Shell extension (brivet@brivet.com), enabled by the user; Weston goes\n"
        "through XWayland.\n"
        "Elsewhere on Wayland, bind `brivet --toggle` to a key in the desktop's settings.\n"
        "\n"
        "Exit status: 0 on success (also when Brivet is already running), 1 when no Brivet\n"
        "runs or it cannot be reached or an export or import failed, 2 for a wrong option.\n");
}

} // namespace brivet
