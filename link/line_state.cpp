#include "link/line_state.h"

namespace olv::link {

bool LineStateKeeper::set(LineState next) {
    const LineState state = state_, base = base_;
    if (Holds(next)) {
        if (!Holds(state_)) base_ = state_;
        state_ = next;
    } else if (Holds(state_)) {
        base_ = next;
    } else {
        state_ = base_ = next;
    }
    return state != state_ || base != base_;
}

bool LineStateKeeper::release() {
    if (!Holds(state_)) return false;
    state_ = base_;
    return true;
}

} // namespace olv::link
