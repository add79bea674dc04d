#include "devices/VolumeControl.h"
#include "audio/CommandLine.h"

#include <QProcess>
#include <QStringList>

namespace tarnival {

bool startVolumeControl(const std::string& commandLine, std::string& error) {
    std::vector<std::string> words = splitCommandLine(commandLine);
    if (words.empty() || words[0].empty()) {
        error = "No record volume control program is set.";
        return false;
    }
    QStringList arguments;
    for (size_t i = 1; i < words.size(); ++i) arguments << QString::fromStdString(words[i]);
    if (!QProcess::startDetached(QString::fromStdString(words[0]), arguments)) {
        error = "The record volume control \"" + words[0] + "\" could not be started.";
        return false;
    }
    return true;
}

} // namespace tarnival
