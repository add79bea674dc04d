#include "support/ScriptedUi.h"

#include <algorithm>

namespace tarnival::test {

void ScriptedUi::message(const std::string& text, const std::string&) {
    messages.push_back(text);
}

Answer ScriptedUi::ask(const std::string& text, const std::string&, Buttons) {
    questions.push_back(text);
    if (answers.empty()) return Answer::Yes;
    Answer a = answers.front();
    answers.pop_front();
    return a;
}

void ScriptedUi::setStatusPane(int pane, const std::string& text) {
    if (pane >= 0 && pane < static_cast<int>(statusPanes.size()))
        statusPanes[static_cast<size_t>(pane)] = text;
}

void ScriptedUi::progressBegin(const std::vector<std::string>& t) {
    tasks = t;
    shown = true;
    currentTask = 0;
    markedTask = -1;
}

void ScriptedUi::setTaskText(int index, const std::string& text) {
    if (index >= static_cast<int>(tasks.size())) tasks.resize(static_cast<size_t>(index) + 1);
    tasks[static_cast<size_t>(index)] = text;
}

void ScriptedUi::setProgressText(int line, const std::string& text) {
    if (line >= 0 && line < 2) progressLines[static_cast<size_t>(line)] = text;
}

bool ScriptedUi::editScanOptions(ScanSettings& settings) {
    ++scanOptionsShown;
    if (onScanOptions) onScanOptions(settings);
    return scanOptionsResult;
}

bool ScriptedUi::pumpAndTakeCancel() {
    ++pumps;
    return std::find(cancelAt.begin(), cancelAt.end(), pumps) != cancelAt.end();
}

} // namespace tarnival::test
