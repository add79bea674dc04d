#include "app/CommandTable.h"

#include <algorithm>

namespace tarnival {
namespace {

QKeySequence key(QKeyCombination k) {
    return QKeySequence(k);
}
QKeySequence pad(Qt::Key k) {
    return QKeySequence(Qt::KeypadModifier | k);
}

// Rows leave the trailing fields (icon, toolbar place, flags) at their defaults.
#pragma GCC diagnostic push
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"
std::vector<Command> build() {
    const QString file = "&File", view = "&View", wave = "&Waveform", cor = "&Corrections",
                  tracks = "&Tracks", block = "&Block", help = "&Help";
    std::vector<Command> t;
    auto add = [&](Command c) { t.push_back(std::move(c)); };
    // clang-format off
    add({"file.open", file, "&Open...", {key(Qt::CTRL | Qt::Key_O)},
         "Open an existing file for processing \nOpen File", "document-open", 0, 0});
    add({"file.batchOpen", file, "&Batch Open...", {key(Qt::CTRL | Qt::Key_B)},
         "Process a list of files unattended\nBatch Open", "", -1});
    add({"file.save", file, "&Save...", {key(Qt::CTRL | Qt::Key_S)},
         "Save tracks to Separate Wave Files\nSave", "document-save", -1, 0, false, true});
    add({"file.saveClose", file, "Save && &Close...", {},
         "Save tracks to Separate Wave Files and close all files\nSave and Close", ""});
    add({"file.restoreSession", file, "&Restore Session...", {},
         "Open a Previosly Saved Session\nRestore Session", "", -1, 0, false, true});
    add({"file.saveSession", file, "Save Sess&ion...", {},
         "Save a lsit of all corrections for later retrieval\nSave Session", ""});
    add({"file.autoSave", file, "&AutoSave", {},
         "Save the session automatically every five minutes\nAutoSave", "", -1, 0, true});
    add({"file.record", file, "Record &New Wave File...", {key(Qt::CTRL | Qt::Key_R)},
         "Record a new wave file for processing\nRecord New Wave File", "media-record", 0, 1,
         false, true});
    add({"file.paths", file, "&Paths...", {}, "Specify paths to files\nPaths", "", -1, 0, false,
         true});
    add({"file.devices", file, "&Devices...", {}, "Select soundcard devices\nDevices", ""});
    add({"file.exit", file, "E&xit", {key(Qt::CTRL | Qt::Key_Q)},
         "Quit the application; prompts to save the work\nExit", "application-exit", -1, 0,
         false, true});

    add({"view.spectrum", view, "S&pectrum", {}, "Toggle Spectrum View\nSpectrum", "", -1, 0,
         true});
    add({"view.signature", view, "Si&gnature", {},
         "Show or hide the correction signature\nSignature", "", -1, 0, true});
    add({"view.grid", view, "&Grid", {}, "Sow or hide the Grid\nGrid", "", -1, 0, true, true});
    add({"view.scale", view, "&Scale", {}, "Show or hide the scale\nScale", "", -1, 0, true});
    add({"view.bgClassic", view + "/&Background", "&Classic", {},
         "Set the 'classic' background colour\nClassic", "", -1, 0, true});
    add({"view.bgWhite", view + "/&Background", "&White", {},
         "Set the 'white' background colour\nWhite", "", -1, 0, true});
    add({"view.bgGrey", view + "/&Background", "&Grey", {},
         "Set the 'grey' background colour\nGrey", "", -1, 0, true});
    add({"view.thinTrace", view, "&Fine-Line Trace", {}, "Toggle fine/normal trace\nFine-Line Trace",
         "", -1, 0, true});
    add({"view.hideNormalisation", view, "&Hide Normalisation", {},
         "Display normalised wave as un-normalised\nHide Normalisation", "", -1, 0, true});

    add({"wave.undoCut", wave, "&Undo Cut", {}, "Restore a section which has been cut\nUndo Cut",
         "edit-undo"});
    add({"wave.rescanClicks", wave, "&Re-Scan Clicks...", {},
         "Remove existing corrections and re-scan for clicks\nRe-Scan for clicks",
         "view-refresh", 1, 0, false, true});
    add({"wave.superScan", wave, "S&uper-Scan Clicks...", {},
         "Remove existing corrections and re-scan for clicks with a finer search\nSuper-Scan",
         ""});
    add({"wave.rescanTracks", wave, "Re-Scan &Tracks...", {},
         "Remove existing track markers and re-scan\nRe-Scan Tracks", ""});
    add({"wave.rescanAll", wave, "Re-Scan &All...", {},
         "Remove all corrections and track markers and re-scan\nRe-Scan All", ""});
    add({"wave.scanOptions", wave, "Auto-Scan &Options...", {},
         "Set Auto-Scan Options\nAuto-Scan Options", "preferences-system", 1, 1, false, true});
    add({"wave.gotoMax", wave, "&Goto Max Sample", {},
         "Find and display the maximum sample in the wave file\nGoto Max Sample", "", -1, 0,
         false, true});
    add({"wave.normalise", wave, "&Normalise...", {},
         "Adjust the volume to a user defined level\nNormalise", ""});
    add({"wave.balance", wave, "Channel &Balance...", {},
         "Re-balance the volume of the left/right channels\nChannel Balance", ""});
    add({"wave.removeFiltering", wave, "Remo&ve Filtering", {},
         "remove all filtering and restore the un-filtered wave\nRemove Filtering", "", -1, 0,
         false, true});
    add({"wave.filters", wave, "&Filters...", {}, "Filter the waveform\nFilter",
         "preferences-other", 4, 0});
    add({"wave.captureProfile", wave, "&Capture New Profile", {},
         "Capture a noise profile for use by the Hiss/Hum filter\nCapture New Profile", ""});
    add({"wave.viewProfile", wave, "View &Profile", {},
         "Show the noise profile used by the Hiss/Hum filter\nView Profile", ""});
    add({"wave.status", wave, "&Status...", {}, "Show the correction state of the file\nStatus",
         "dialog-information", -1, 0, false, true});

    add({"cor.remove", cor, "&Remove Current", {key(Qt::Key_Delete)},
         "Remove the current correction & restore the original waveform\nDelete Correction",
         "edit-delete", 2, 0});
    add({"cor.stereoLeft", cor + "/&Stereo", "&Left Channel", {},
         "Correct the left channel of the current correction\nLeft Channel", "", -1, 0, true});
    add({"cor.stereoRight", cor + "/&Stereo", "&Right Channel", {},
         "Correct the right channel of the current correction\nRight Channel", "", -1, 0, true});
    add({"cor.adjust", cor, "&Adjust/Insert", {key(Qt::Key_Insert)},
         "Adjust an existing correction or Insert a new correction\nAdjust/Insert",
         "insert-object", 2, 1});
    add({"cor.shrink", cor, "S&hrink", {key(Qt::Key_PageDown)},
         "Shrink the current correction to a third of its width\nShrink", ""});
    add({"cor.insertCue", cor, "Insert &Cue", {key(Qt::Key_Tab), pad(Qt::Key_Plus)},
         "Insert a  Cue Marker at the current location\nInsert Cue", "bookmark-new"});
    add({"cor.find", cor, "&Find...", {}, "Search for a specified correction\nFind",
         "edit-find", 3, 0, false, true});
    add({"cor.findNext", cor, "Find &Next", {key(Qt::Key_F3)},
         "Find the next corrrection that matches the search criteria\nFind Next", "go-next", 3,
         2});
    add({"cor.findPrevious", cor, "Find &Previous", {key(Qt::Key_F2)},
         "Find the previous corrrection that matches the search criteria\nFind Previous",
         "go-previous", 3, 1});
    add({"cor.list", cor, "&List...", {},
         "Customise the Correction List to exclude certain corrections\nList"});
    add({"cor.auditionOriginal", cor + "/A&udition", "&Original", {pad(Qt::Key_1)},
         "Audition the currently selected section, uncorrected\nAudition Original",
         "media-playback-start", 1, 2, false, true});
    add({"cor.auditionCorrected", cor + "/A&udition", "&Corrected", {pad(Qt::Key_3)},
         "Audition the currently selected section, corrected\nAudition Corrected",
         "media-playback-start", 1, 3});
    add({"play.cancel", cor, "Cancel &Playback", {key(Qt::Key_Escape), pad(Qt::Key_0)},
         "Cancel Playback\nCancel Playback", "media-playback-stop", 6, 1});

    add({"tracks.nextMarker", tracks, "&Next Track Marker", {},
         "Move forward to the next track boundary marker\nNext Track Marker", "go-last", 7, 5});
    add({"tracks.previousMarker", tracks, "&Previous Track Marker", {},
         "Move back to the previous track boundary marker\nPrevious Track Marker", "go-first", 7,
         4});
    add({"tracks.split", tracks, "&Split Track", {},
         "Convert the current Position Marker to a Track Boundary Marker\nSplit Track",
         "list-add", 7, 0, false, true});
    add({"tracks.merge", tracks, "&Merge Tracks", {},
         "Merge tracks by deleting the selected Track Boundary\nMerge Tracks", "list-remove",
         7, 1});
    add({"tracks.cuesToTracks", tracks, "&Cue Markers -> Tracks", {},
         "Convert every cue marker to a track boundary\nCue Markers to Tracks"});
    add({"tracks.playOriginal", tracks + "/Play &Track", "Play &Original",
         {key(Qt::SHIFT | Qt::Key_Space)}, "Play Track(s), uncorrected\nPlay Track(s) Original",
         "media-playback-start", 5, 0});
    add({"tracks.playCorrected", tracks + "/Play &Track", "Play &Corrected",
         {key(Qt::Key_Space), pad(Qt::Key_Period)},
         "Play Track(s), corrected\nPlay Track(s) Corrected", "media-playback-start", 5, 1});
    add({"tracks.auditionBoundary", tracks, "&Audition Track Boundary", {},
         "Audition the placement of a Track Boundary\nAudition Track Boundary",
         "audio-volume-high", 7, 2});
    add({"play.pause", tracks, "Pa&use", {}, "Pause/Resume Playback\nPause",
         "media-playback-pause", 6, 0, true});
    add({"play.skipBack", tracks, "S&kip Back",
         {key(Qt::Key_Backspace), key(Qt::Key_Return), pad(Qt::Key_Enter)},
         "Go back two seconds and play on\nSkip Back", "media-skip-backward"});
    add({"tracks.fadeLinear", tracks + "/&Fade Type", "&Linear", {},
         "Set track boundary fades to 'Linear'\nLinear", "", -1, 0, true, true});
    add({"tracks.fadeLog", tracks + "/&Fade Type", "L&ogarithmic", {},
         "Set track boundary fades to 'Logarithmic'\nLogarithmic", "", -1, 0, true});
    add({"tracks.gapless", tracks, "&Gapless (use Disc-at-Once)", {},
         "Toggle between allowing or disallowing gaps between track boundaries\nGapless", "", -1,
         0, true});
    add({"tracks.properties", tracks, "P&roperties...", {},
         "View/Set the track names and boundary parameters\nTrack Properties",
         "document-properties", 7, 3, false, true});

    add({"block.removeCorrections", block, "&Remove Corrections", {},
         "Remove all corrections from Block\nRemove Corrections"});
    add({"block.rescan", block, "Re-&Scan Clicks...", {},
         "Remove all corrections from Block and re-scan for clicks\nRe-Scan Block"});
    add({"block.superScan", block, "S&uper-Scan Clicks...", {},
         "Remove all corrections from Block and super-scan for clicks\nSuper-Scan Block"});
    add({"block.captureProfile", block, "Capture Noise &Profile", {},
         "Capture a noise profile from the block\nCapture Noise Profile"});
    add({"block.mergeTracks", block, "&Merge Tracks in Block", {},
         "Remove all track markers from the block to merge tracks\nMerge Tracks in Block", "",
         -1, 0, false, true});
    add({"block.cutSplice", block, "&Cut and Splice", {},
         "Cut the block from the waveform and cross-fade\nCut and Splice", "edit-cut"});
    add({"block.spliceShort", block + "/Splice &Length", "&Short (5mS)", {},
         "Set cross-fade period to 'short'\nShort", "", -1, 0, true});
    add({"block.spliceMedium", block + "/Splice &Length", "&Medium (25ms)", {},
         "Set cross-fade period to 'medium'\nMedium", "", -1, 0, true});
    add({"block.spliceLong", block + "/Splice &Length", "&Long (100ms)", {},
         "Set cross-fade period to 'long'\nLong", "", -1, 0, true});
    add({"block.playOriginal", block, "Play Block - &Original", {},
         "Play the block, uncorrected\nPlay Block Original", "", -1, 0, false, true});
    add({"block.playCorrected", block, "Play Block - &Corrected", {},
         "Play the block, corrected\nPlay Block Corrected"});
    add({"block.cancel", block, "Cancel &Block", {}, "Clear the block selection\nCancel Block", "",
         -1, 0, false, true});

    add({"help.tip", help, "&Tip of the Day...", {}, "Show the next 'Tip of the Day'\nTip of the Day",
         ""});
    add({"help.topics", help, "&Help Topics", {key(Qt::Key_F1)}, "List help topics\nHelp Topics",
         "help-contents", 8, 0});
    add({"help.context", help, "&What's This?", {key(Qt::SHIFT | Qt::Key_F1)},
         "Display help for the clicked item\nHelp", "help-browser", 8, 1});
    add({"help.support", help, "&On-line support", {},
         "Open the support web page\nOn-line support", "", -1, 0, false, true});
    add({"help.about", help, "&About...", {}, "Display program information and version\nAbout",
         "help-about"});

    add({"keys.speedDown", "", "Slower Playback", {pad(Qt::Key_7)}, "Slow down playback"});
    add({"keys.speedUp", "", "Faster Playback", {pad(Qt::Key_9)}, "Speed up playback"});
    add({"keys.hCoarser", "", "Horizontal Scale Coarser", {pad(Qt::Key_4)},
         "Show more of the waveform"});
    add({"keys.hFiner", "", "Horizontal Scale Finer", {pad(Qt::Key_6)},
         "Show less of the waveform"});
    add({"keys.vFiner", "", "Vertical Scale Finer", {pad(Qt::Key_8)}, "Enlarge the traces"});
    add({"keys.vCoarser", "", "Vertical Scale Coarser", {pad(Qt::Key_2)}, "Shrink the traces"});
    // clang-format on
    return t;
}
#pragma GCC diagnostic pop

} // namespace

const std::vector<Command>& commandTable() {
    static const std::vector<Command> table = build();
    return table;
}

const Command* findCommand(const QString& id) {
    const auto& t = commandTable();
    auto it = std::find_if(t.begin(), t.end(), [&](const Command& c) { return c.id == id; });
    return it == t.end() ? nullptr : &*it;
}

QString promptStatus(const QString& prompt) {
    return prompt.section('\n', 0, 0);
}

QString promptToolTip(const QString& prompt) {
    QString tip = prompt.section('\n', 1, 1);
    return tip.isEmpty() ? promptStatus(prompt) : tip;
}

} // namespace tarnival
