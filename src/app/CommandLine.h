#pragma once

#include "platform/InstanceChannel.h"

#include <QString>
#include <QStringList>

namespace brivet {

// What the command line asks for: run Brivet, print help or the version, or send one command
// to the running Brivet.
struct CommandLine
{
    enum class Action
    {
        Run,
        Help,
        Version,
        Send,
        Archive, // --export or --import
    };

    Action action = Action::Run;
    InstanceCommand command = InstanceCommand::Toggle; // for Send
    int minutes = 0;   // for PauseRecording: how long, 0 until resumed
    InstanceChannel::ArchiveAction archiveAction = InstanceChannel::ArchiveAction::Export;
    QString archivePath; // for Archive, as given
    QString error;     // not empty: the arguments make no sense

    // arguments: without the program's name.
    static CommandLine parse(const QStringList& arguments);
    static QString usage();
};

} // namespace brivet
