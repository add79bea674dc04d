#include "devices/DeviceList.h"

#include <QCoreApplication>
#include <QMediaDevices>
#include <QTimer>

namespace tarnival {

namespace {

std::vector<std::string> namesOf(const QList<QAudioDevice>& devices) {
    std::vector<std::string> names;
    for (const QAudioDevice& d : devices) names.push_back(d.description().toStdString());
    return names;
}

std::vector<std::string> choicesOf(const QList<QAudioDevice>& devices) {
    std::vector<std::string> choices{kDefaultDeviceLabel};
    for (const std::string& name : namesOf(devices)) choices.push_back(name);
    return choices;
}

QAudioDevice resolve(int number, const QList<QAudioDevice>& devices, const QAudioDevice& fallback,
                     const char* kind, std::string& notice) {
    notice.clear();
    if (number >= 0 && number < devices.size()) return devices[number];
    if (number >= 0)
        notice = std::string(kind) + " device " + std::to_string(number) +
                 " is no longer present; the default device is used instead.";
    return fallback;
}

} // namespace

std::vector<std::string> outputDeviceNames() {
    return namesOf(QMediaDevices::audioOutputs());
}

std::vector<std::string> inputDeviceNames() {
    return namesOf(QMediaDevices::audioInputs());
}

std::vector<std::string> outputDeviceChoices() {
    return choicesOf(QMediaDevices::audioOutputs());
}

std::vector<std::string> inputDeviceChoices() {
    return choicesOf(QMediaDevices::audioInputs());
}

QAudioDevice resolveOutputDevice(int number, std::string& notice) {
    return resolve(number, QMediaDevices::audioOutputs(), QMediaDevices::defaultAudioOutput(),
                   "Playback", notice);
}

QAudioDevice resolveInputDevice(int number, std::string& notice) {
    return resolve(number, QMediaDevices::audioInputs(), QMediaDevices::defaultAudioInput(),
                   "Record", notice);
}

QAudioFormat stereo16(int rate) {
    QAudioFormat format;
    format.setSampleRate(rate);
    format.setChannelCount(2);
    format.setSampleFormat(QAudioFormat::Int16);
    return format;
}

void deleteStoppedDeviceLater(std::unique_ptr<QObject> device) {
    constexpr int kLateCallbackMs = 3000; // far longer than a server round trip
    QCoreApplication* app = QCoreApplication::instance();
    if (!device || !app) return; // no application, no timer: deleted now
    QObject* p = device.release();
    p->disconnect();
    // Owned by the application meanwhile, so that one still waiting at exit goes too.
    if (p->thread() == app->thread()) p->setParent(app);
    QTimer::singleShot(kLateCallbackMs, p, &QObject::deleteLater);
}

} // namespace tarnival
