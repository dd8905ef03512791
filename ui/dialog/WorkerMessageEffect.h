#pragma once
// How the dialog turns one of the worker's four messages into its state, status text and progress
// bar. Kept apart from the window so that every state and message can be tried in a table.
#include <windows.h>

#include <cstdint>
#include <string>

#include "ui/dialog/DialogState.h"

namespace kav {

struct WorkerMessageEffect {
    bool handled = false;        // one of the four messages (then the window procedure returns 0)
    DialogState state = Ready;   // the state afterwards
    bool setPosition = false;    // write position into the progress bar and repaint it
    std::int32_t position = 0;
    bool replaceStatus = false;  // statusText becomes status
    std::wstring status;
    bool closeLog = false;       // CloseInstallLog
    bool hideProgress = false;   // hide the progress bar's window
    bool repaint = false;        // invalidate the dialog
    bool paintNow = false;       // UpdateWindow after the invalidation
};

// Step codes are the rows of the step texts, 0 to 14.
bool IsStepCode(LPARAM code);

// The effect of message with lParam in state, with the texts of the current UI language.
// Decided beyond the plain rules: progress is ignored on the failure page (late progress of a
// failed manifest download must not bring the progress page back with no worker running), a step
// message with an unknown code changes nothing, and a failure with an unknown code still fails
// and closes the log but keeps the status text.
WorkerMessageEffect EffectOfWorkerMessage(DialogState state, UINT message, LPARAM lParam);

// StepText(step) followed by DialogText(6) (" Fail" in English).
std::wstring FailureText(std::int32_t step);

}  // namespace kav
