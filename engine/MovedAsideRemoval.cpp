#include "engine/MovedAsideRemoval.h"

#include <condition_variable>
#include <mutex>

namespace kav {

namespace {

// Lives for the whole process: the exit may end the process while the worker still deletes, and
// neither may find the lock gone.
struct RemovalState {
    std::mutex lock;
    std::condition_variable ended;
    bool pending = false;
};

RemovalState& State() {
    static RemovalState* const state = new RemovalState();
    return *state;
}

}  // namespace

void BeginMovedAsideRemoval() {
    RemovalState& state = State();
    std::lock_guard<std::mutex> guard(state.lock);
    state.pending = true;
}

void EndMovedAsideRemoval() {
    RemovalState& state = State();
    {
        std::lock_guard<std::mutex> guard(state.lock);
        state.pending = false;
    }
    state.ended.notify_all();
}

void WaitForMovedAsideRemoval() {
    RemovalState& state = State();
    std::unique_lock<std::mutex> guard(state.lock);
    state.ended.wait(guard, [&state] { return !state.pending; });
}

}  // namespace kav
