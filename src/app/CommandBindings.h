#pragma once

#include <QString>

namespace tarnival {

class MainWindow;

// Connects the commands that open the dialogs and run the document's long operations (saving,
// sessions and AutoSave, re-scans, filters and levels, recording, batch) to the main window's
// command table, and starts the idle check that runs AutoSave.
void bindDocumentCommands(MainWindow& window);

// The tips of the day, installed beside the program.
QString tipsFile();

} // namespace tarnival
