#include "ui/dialog/WorkerMessageEffect.h"

#include "app/LocalizedTexts.h"
#include "engine/WorkerMessages.h"

namespace kav {

namespace {

constexpr std::int32_t kFailSuffixRow = 6;

}  // namespace

bool IsStepCode(LPARAM code) { return code >= 0 && code < kStepTextRows; }

std::wstring FailureText(std::int32_t step) { return std::wstring(StepText(step)) + DialogText(kFailSuffixRow); }

WorkerMessageEffect EffectOfWorkerMessage(DialogState state, UINT message, LPARAM lParam) {
    WorkerMessageEffect effect;
    effect.state = state;
    switch (message) {
        case WM_INSTALL_PROGRESS:
            effect.handled = true;
            if (state == Failed) break;
            effect.setPosition = true;
            effect.position = static_cast<std::int32_t>(static_cast<std::uint32_t>(lParam & 0xFFFFFFFF));
            effect.state = Installing;
            effect.repaint = true;
            break;
        case WM_INSTALL_DONE:
            effect.handled = true;
            effect.state = Finished;
            effect.hideProgress = true;
            effect.repaint = true;
            effect.paintNow = true;
            break;
        case WM_INSTALL_FAILED:
            effect.handled = true;
            effect.closeLog = true;
            effect.state = Failed;
            if (IsStepCode(lParam)) {
                effect.replaceStatus = true;
                effect.status = FailureText(static_cast<std::int32_t>(lParam));
            }
            effect.repaint = true;
            break;
        case WM_INSTALL_STEP:
            effect.handled = true;
            if (!IsStepCode(lParam)) break;
            effect.replaceStatus = true;
            effect.status = StepText(static_cast<std::int32_t>(lParam));
            effect.repaint = true;
            break;
        default:
            break;
    }
    return effect;
}

}  // namespace kav
