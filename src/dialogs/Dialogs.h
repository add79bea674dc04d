#pragma once
// The desktop application's dialogs, one entry function each, for the main window's command
// table. Every function is modal and returns once the dialog is closed; those returning bool
// say whether the user confirmed (and the change was made). Messages and questions go through
// the document's user interface (or the one passed in), so tests can script them.
#include <QString>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class QWidget;

namespace tarnival {

class CMorvath3Doc;
class Profile;
class UserInterface;
struct FilterSettings;
struct SaveRequest;

// ---- Document state and tracks ------------------------------------------------------------
// "Status...": the status report.
void showStatusDialog(QWidget* parent, CMorvath3Doc& doc);
// "Properties...": "Track Properties" (tags and timings of every track).
bool showTrackPropertiesDialog(QWidget* parent, CMorvath3Doc& doc);
// "Default Artist and Timings" on its own (also reachable from "Track Properties").
bool showDefaultTimingsDialog(QWidget* parent, CMorvath3Doc& doc);
// "Re-Scan Tracks...": "Re-Scan for Tracks" with the target track count; runs the detection.
bool showRescanTracksDialog(QWidget* parent, CMorvath3Doc& doc);

// ---- Saving -------------------------------------------------------------------------------
// "Save Corrected Waveform": what to write and where; nothing when cancelled. With
// allowSaveAndClose the dialog offers "Save && Close" (closeAfterwards in the request).
std::optional<SaveRequest> showSaveDialog(QWidget* parent, CMorvath3Doc& doc,
                                          bool allowSaveAndClose = true);
// The whole save command ("Save..." and, with closeAfterwards, "Save && Close..."): the dialog,
// "Confirm Save" when files exist, writing the tracks, and with "Save && Close" (the command or
// the dialog's button) closing the document. True when every chosen track was written.
bool saveTracksCommand(QWidget* parent, CMorvath3Doc& doc, bool closeAfterwards = false);
// "Confirm Save": lines as confirmSaveLines makes them; true on "Proceed".
bool showConfirmSaveDialog(QWidget* parent, const std::vector<std::string>& lines);
// "Compression Settings" for an output type ("File Type" value); stores the choices on OK.
bool showCompressionSettingsDialog(QWidget* parent, Profile& profile, UserInterface& ui,
                                   int fileType);

// ---- Application --------------------------------------------------------------------------
// File -> "Paths...": "Select File Paths".
bool showPathsDialog(QWidget* parent, Profile& profile);
// "Tip of the Day" from the tips file (one tip per line, "#" lines skipped).
void showTipOfTheDay(QWidget* parent, Profile& profile, UserInterface& ui, const QString& tipsFile);
// Whether the tip of the day is due at start-up.
bool tipsAtStartUp(const Profile& profile);
// Help -> "About...": "About Tarnival".
void showAboutDialog(QWidget* parent);

// ---- Sound devices ------------------------------------------------------------------------
// File -> "Devices...".
bool showDevicesDialog(QWidget* parent, Profile& profile);
// File -> "Record New Wave File...": asks for the file, then "Record New Wave File". The path
// of the recording when the user chose "Scan Now", else nothing.
std::optional<std::string> recordNewWaveFile(QWidget* parent, Profile& profile, UserInterface& ui);
// The recorder dialog for a file already chosen (replaceExisting: the user agreed to replace it).
std::optional<std::string> showRecordDialog(QWidget* parent, Profile& profile, UserInterface& ui,
                                            const std::string& path, bool replaceExisting);

// ---- Filters and levels -------------------------------------------------------------------
// "Filters...": "Apply Filter(s)", then the run over the block or the whole audio.
bool showFiltersDialog(QWidget* parent, CMorvath3Doc& doc);
// The same dialog as "Configure Filters" for a batch: edits settings and the graphic name only.
bool showConfigureFiltersDialog(QWidget* parent, Profile& profile, UserInterface& ui, int rate,
                                FilterSettings& settings);
// "Graphical Filter Editor"; name is the filter shown at opening and the one chosen at the end.
void showGraphicEditor(QWidget* parent, Profile& profile, UserInterface& ui, int rate,
                       std::string& name);
// "Capture New Profile" / "Capture Noise Profile" on the selected block.
bool captureProfileCommand(QWidget* parent, CMorvath3Doc& doc);
// "View Profile": measures the profile (finding a block when none is set) and plots it per
// channel over frequency. The block, for the waveform view to select, or nothing.
struct ProfileSpan {
    int32_t start = 0;
    int32_t end = 0;
};
std::optional<ProfileSpan> viewProfileCommand(QWidget* parent, CMorvath3Doc& doc);
// "Normalise...": "Normalise Amplitude", then the scaling.
bool showNormaliseDialog(QWidget* parent, CMorvath3Doc& doc);
// "Channel Balance...": "Re-Balance Channels", then the balance.
bool showBalanceDialog(QWidget* parent, CMorvath3Doc& doc);

} // namespace tarnival
