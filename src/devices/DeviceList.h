#pragma once
#include <QAudioDevice>
#include <QAudioFormat>
#include <QObject>

#include <memory>
#include <string>
#include <vector>

namespace tarnival {

// The sound devices by the numbers the settings use: n is entry n of the system's list, -1 the
// default device.
std::vector<std::string> outputDeviceNames();
std::vector<std::string> inputDeviceNames();

// What a "Playback Device" / "Record Device" combo box lists: the default device first, then
// each device; list index = device number + 1.
std::vector<std::string> outputDeviceChoices();
std::vector<std::string> inputDeviceChoices();
constexpr const char* kDefaultDeviceLabel = "Default Device";

// The device for a number. A device that is no longer there falls back to the default and
// notice says so; a null device means there is none at all.
QAudioDevice resolveOutputDevice(int number, std::string& notice);
QAudioDevice resolveInputDevice(int number, std::string& notice);
// The only sample format we play and record: 16-bit stereo at the rate.
QAudioFormat stereo16(int rate);

// Deletes a stopped sink or source a while later. The sound server's client library may still
// hand a callback for a stream that was just stopped to Qt's backend on its own thread, which
// then signals through the object: deleted at once, that is a use after free.
void deleteStoppedDeviceLater(std::unique_ptr<QObject> device);

} // namespace tarnival
