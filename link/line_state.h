#pragma once

namespace olv::link {

// What the window's line is doing: one state at a time, as a Modbus device has one state, changed in
// one place (LineStateKeeper::set, called by the window's SetLineState, which shows it). Whether the
// port itself is lost is the port's own (PortLink::lost), whatever the line is doing.
enum class LineState {
    Settling,    // start-up has shown its values: a change of a field is not the user's yet
    StartupRead, // the start-up read is due: nothing is polled yet
    Idle,        // the start-up read has run: the live page polls while it is shown
    Operation,   // an operation holds the line (the start-up read, a page's read or write, a menu's)
    Searching,   // the device search holds the line
    Listening,   // the line monitor listens to the line: nothing is sent
};

// Whether something holds the line (an operation, the search, listening): nothing else may use it.
constexpr bool Holds(LineState state) {
    return state == LineState::Operation || state == LineState::Searching || state == LineState::Listening;
}

// The line's state and the free state it goes back to when its holder lets go.
class LineStateKeeper {
  public:
    LineState state() const { return state_; }
    // The free state under a hold (the state itself when nothing holds the line).
    LineState base() const { return base_; }

    // A holding state taken from a free one remembers the free one; from a holding one (a search or
    // listening inside an operation) it only replaces it. A free state given while the line is held
    // becomes the state the line goes back to. True when anything changed.
    bool set(LineState next);
    // The holder lets go: the line goes back to its free state. True when it was held.
    bool release();

    // The views the window's design keeps as flags.
    bool pollEnabled() const { return base_ == LineState::Idle; }
    bool settling() const { return base_ == LineState::Settling; }

  private:
    LineState state_ = LineState::StartupRead;
    LineState base_ = LineState::StartupRead;
};

} // namespace olv::link
