#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "ui/dialog/KeyAction.h"

namespace {

using kav::KeyAction;

struct KeyCase {
    const char* name;
    UINT key;
    DialogState state;
    KeyAction expected;
};

class KeyRule : public ::testing::TestWithParam<KeyCase> {};

TEST_P(KeyRule, DoesWhatTheMainButtonOrTheCloseBoxDoesOnThatPage) {
    const KeyCase& c = GetParam();
    EXPECT_EQ(kav::KeyActionFor(c.key, c.state), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Cases, KeyRule,
    ::testing::Values(KeyCase{"EnterReadyInstalls", VK_RETURN, Ready, KeyAction::StartInstall},
                      KeyCase{"EnterFinishedOpens", VK_RETURN, Finished, KeyAction::OpenProgram},
                      KeyCase{"EnterInstalling", VK_RETURN, Installing, KeyAction::Nothing},
                      KeyCase{"EnterFailed", VK_RETURN, Failed, KeyAction::Nothing},
                      KeyCase{"EscapeReadyCloses", VK_ESCAPE, Ready, KeyAction::CloseBox},
                      KeyCase{"EscapeFailedCloses", VK_ESCAPE, Failed, KeyAction::CloseBox},
                      KeyCase{"EscapeFinishedCloses", VK_ESCAPE, Finished, KeyAction::CloseBox},
                      KeyCase{"EscapeInstalling", VK_ESCAPE, Installing, KeyAction::Nothing},
                      KeyCase{"SpaceReady", VK_SPACE, Ready, KeyAction::Nothing},
                      KeyCase{"SpaceFinished", VK_SPACE, Finished, KeyAction::Nothing},
                      KeyCase{"TabReady", VK_TAB, Ready, KeyAction::Nothing},
                      KeyCase{"F4Ready", VK_F4, Ready, KeyAction::Nothing}),
    [](const ::testing::TestParamInfo<KeyCase>& info) { return std::string(info.param.name); });

// One keyboard message as the dialog sees it, and the page it shows at that moment.
struct KeyEvent {
    enum Kind { Down, Repeat, Up, FocusLost } kind;
    UINT key;
    DialogState state;
};

struct GestureCase {
    const char* name;
    std::vector<KeyEvent> events;
    std::vector<KeyAction> expected;  // one per release, in order
};

class Gesture : public ::testing::TestWithParam<GestureCase> {};

TEST_P(Gesture, ActsOnTheReleaseOfAPressItSawOnTheSamePage) {
    const GestureCase& c = GetParam();
    kav::KeyGesture gesture;
    std::vector<KeyAction> actions;
    for (const KeyEvent& e : c.events) {
        switch (e.kind) {
            case KeyEvent::Down: gesture.Press(e.key, 1, e.state); break;
            // Repeat count 1 and the previous-state bit, as Windows sends an auto-repeat.
            case KeyEvent::Repeat: gesture.Press(e.key, 1 | kav::kKeyWasDown, e.state); break;
            case KeyEvent::Up: actions.push_back(gesture.Release(e.key, e.state)); break;
            case KeyEvent::FocusLost: gesture.Forget(); break;
        }
    }
    EXPECT_EQ(actions, c.expected);
}

constexpr KeyEvent EnterDown(DialogState s) { return {KeyEvent::Down, VK_RETURN, s}; }
constexpr KeyEvent EnterRepeat(DialogState s) { return {KeyEvent::Repeat, VK_RETURN, s}; }
constexpr KeyEvent EnterUp(DialogState s) { return {KeyEvent::Up, VK_RETURN, s}; }
constexpr KeyEvent EscapeDown(DialogState s) { return {KeyEvent::Down, VK_ESCAPE, s}; }
constexpr KeyEvent EscapeUp(DialogState s) { return {KeyEvent::Up, VK_ESCAPE, s}; }

INSTANTIATE_TEST_SUITE_P(
    Cases, Gesture,
    ::testing::Values(
        GestureCase{"EnterTappedOnTheWelcomePage", {EnterDown(Ready), EnterUp(Ready)}, {KeyAction::StartInstall}},
        GestureCase{"EnterHeldActsOnceOnRelease",
                    {EnterDown(Ready), EnterRepeat(Ready), EnterRepeat(Ready), EnterRepeat(Ready), EnterUp(Ready),
                     EnterUp(Ready)},
                    {KeyAction::StartInstall, KeyAction::Nothing}},
        // The install ran and finished while Enter was held: the finished page is not pressed.
        GestureCase{"EnterHeldIntoTheFinishedPage",
                    {EnterDown(Ready), EnterRepeat(Installing), EnterRepeat(Finished), EnterUp(Finished)},
                    {KeyAction::Nothing}},
        // Only repeats came here: the press went to another window (the one that started us).
        GestureCase{"RepeatsOfAPressElsewhere",
                    {EnterRepeat(Ready), EnterRepeat(Ready), EnterUp(Ready)},
                    {KeyAction::Nothing}},
        GestureCase{"AReleaseWithoutAPress", {EnterUp(Finished), EscapeUp(Ready)}, {KeyAction::Nothing, KeyAction::Nothing}},
        GestureCase{"EnterTappedOnTheFinishedPage", {EnterDown(Finished), EnterUp(Finished)}, {KeyAction::OpenProgram}},
        GestureCase{"EnterAndEscapeWhileInstalling",
                    {EnterDown(Installing), EnterUp(Installing), EscapeDown(Installing), EscapeUp(Installing)},
                    {KeyAction::Nothing, KeyAction::Nothing}},
        // Escape pressed while installing and let go on the finished page does not close it.
        GestureCase{"EscapeAcrossAPageChange", {EscapeDown(Installing), EscapeUp(Finished)}, {KeyAction::Nothing}},
        GestureCase{"EscapeTappedAfterAFailure", {EscapeDown(Failed), EscapeUp(Failed)}, {KeyAction::CloseBox}},
        // A modifier let go while Enter is down does not cancel Enter.
        GestureCase{"ShiftReleasedDuringEnter",
                    {{KeyEvent::Down, VK_SHIFT, Ready}, EnterDown(Ready), {KeyEvent::Up, VK_SHIFT, Ready},
                     EnterUp(Ready)},
                    {KeyAction::Nothing, KeyAction::StartInstall}},
        // The last key pressed is the one that may act.
        GestureCase{"EscapePressedDuringEnter",
                    {EnterDown(Ready), EscapeDown(Ready), EnterUp(Ready), EscapeUp(Ready)},
                    {KeyAction::Nothing, KeyAction::CloseBox}},
        GestureCase{"FocusLostBetweenPressAndRelease",
                    {EnterDown(Ready), {KeyEvent::FocusLost, 0, Ready}, EnterUp(Ready)},
                    {KeyAction::Nothing}},
        GestureCase{"SpaceTapped", {{KeyEvent::Down, VK_SPACE, Ready}, {KeyEvent::Up, VK_SPACE, Ready}},
                    {KeyAction::Nothing}}),
    [](const ::testing::TestParamInfo<GestureCase>& info) { return std::string(info.param.name); });

}  // namespace
