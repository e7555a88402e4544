// The course hardware on the simulated board: devices that follow the pins, the cycle at which
// time alone changes them, and the keys of the 4x4 keypad through the input queue.
#include "Board.h"

#include <algorithm>
#include <atomic>

#include "Code.h"
#include "Inputs.h"
#include "Observers.h"

namespace {

BoardState& B() { return Machine.board; }

PortLevels Latches() {
    PortLevels l;
    for (int p = 0; p < 4; ++p) l.port[size_t(p)] = InternalRam[size_t(0x80 + 0x10 * p)];
    return l;
}

// What the pins would read without device d's own pull.
PortLevels LevelsWithout(DeviceId d) {
    PortLevels l = Latches();
    for (int p = 0; p < 4; ++p)
        for (int i = 0; i < kMaxDevices; ++i)
            if (i != int(d)) l.port[size_t(p)] &= Machine.devicePulls[size_t(i * 4 + p)];
    return l;
}

PortLevels Pins() { return PinLevels(); }

// A pin change that no controller time separates from the user: an input applied, or a store by
// the user, while no run owns the machine (a click, an edit, Reset).
bool UserStore = false;
bool ByHand() { return (ApplyingInput || UserStore) && !WorkerOwnsMachine(); }

bool Updating = false;
int32_t BoardClockFrequency = 11059200;
// The machine cycle at which the clock below next has work (Due()).
uint64_t ClockDue = 0;
uint64_t Due();

void ApplyPulls(DeviceId d, const PortLevels& pulls) {
    for (int p = 0; p < 4; ++p)
        if (DevicePull(d, p) != pulls.port[size_t(p)]) SetDevicePull(d, p, pulls.port[size_t(p)]);
}

// Every attached device looks at the pins again, until no pull changes (a keypad and a display on
// one port answer each other; three rounds settle any board we wire).
void Update() {
    if (Updating) return;
    Updating = true;
    BoardState& b = B();
    const uint64_t cycle = Machine.cycles;
    for (int round = 0; round < 4; ++round) {
        bool changed = false;
        if (b.attached & BoardState::kKeypad) {
            changed |= b.keypad.PinsChanged(LevelsWithout(DeviceId::MatrixKeypad));
            ApplyPulls(DeviceId::MatrixKeypad, b.keypad.Pulls());
        }
        if (b.attached & BoardState::kLcd) {
            changed |= b.lcd.PinsChanged(LevelsWithout(DeviceId::Lcd), cycle);
            ApplyPulls(DeviceId::Lcd, b.lcd.Pulls());
        }
        if (!changed) break;
    }
    if (b.attached & BoardState::kSegments) {
        if (ByHand()) b.segments.PinsSetByHand(Pins(), cycle);
        else b.segments.PinsChanged(Pins(), cycle);
    }
    ClockDue = Due();
    Updating = false;
}

class PinFollower : public PortLatchListener {
public:
    void LatchChanged(int, uint8_t) override { Update(); }
    void LatchStored(int, uint8_t, bool byUser) override {
        UserStore = byUser;
        Update();
        UserStore = false;
    }
    void PinsChanged(int) override { Update(); }
};
PinFollower Follower;

// Keys scheduled by the runner, in order of their cycle; a release follows every press.
struct KeyEvent {
    uint64_t cycle;
    int key;
    bool down;
};
std::vector<KeyEvent> Schedule;
size_t NextEvent = 0;

// The machine cycle at which time alone changes a device.
uint64_t Due() {
    const BoardState& b = B();
    uint64_t due = ~uint64_t(0);
    if (b.attached & BoardState::kLcd) due = std::min(due, b.lcd.PullsChangeAt());
    if (b.attached & BoardState::kSegments) due = std::min(due, b.segments.PeriodEnd());
    if (NextEvent < Schedule.size()) due = std::min(due, Schedule[NextEvent].cycle);
    return due;
}

class Clock : public StepObserver {
public:
    void Stepped(const StepInfo&) override {
        const uint64_t now = Machine.cycles;
        if (now < ClockDue) return;
        while (NextEvent < Schedule.size() && Schedule[NextEvent].cycle <= now) {
            const KeyEvent& e = Schedule[NextEvent++];
            ApplyInput(MakeInput(InputKind::DeviceKey, uint16_t(e.key), e.down ? 1 : 0));
        }
        if (B().attached & BoardState::kSegments) B().segments.Tick(now);
        if ((B().attached & BoardState::kLcd) && B().lcd.PullsChangeAt() <= now) Update();
        ClockDue = Due();
    }
    void Renew() { ClockDue = Due(); }
};
Clock TheClock;

// The listener and the clock are installed while anything needs them (controlling thread).
void Rewire() {
    const bool any = B().attached != 0;
    InstallPortLatchListener(any ? &Follower : nullptr);
    const bool timed = (B().attached & (BoardState::kLcd | BoardState::kSegments)) || NextEvent < Schedule.size();
    if (timed) AddStepObserver(&TheClock);
    else RemoveStepObserver(&TheClock);
    TheClock.Renew();
}

}  // namespace

PortLevels PinLevels() {
    PortLevels l;
    for (int p = 0; p < 4; ++p) l.port[size_t(p)] = PortPins(p);
    return l;
}

void AttachLcd(const LcdWiring& wiring) {
    B().lcd.Configure(wiring, BoardClockFrequency, Machine.cycles);
    B().attached |= BoardState::kLcd;
    SetDevicePull(DeviceId::Lcd, 0, 0xFF);
    Rewire();
    Update();
}

void DetachLcd() {
    B().attached &= uint8_t(~BoardState::kLcd);
    for (int p = 0; p < 4; ++p) SetDevicePull(DeviceId::Lcd, p, 0xFF);
    Rewire();
}

bool LcdAttached() { return B().attached & BoardState::kLcd; }
const Hd44780& BoardLcd() { return B().lcd; }

void AttachKeypad4x4(const Keypad4x4Wiring& wiring) {
    B().keypad.Configure(wiring);
    B().keypad.SetKeysDown(0);
    B().attached |= BoardState::kKeypad;
    Rewire();
    Update();
}

void DetachKeypad4x4() {
    B().attached &= uint8_t(~BoardState::kKeypad);
    B().keypad.SetKeysDown(0);
    for (int p = 0; p < 4; ++p) SetDevicePull(DeviceId::MatrixKeypad, p, 0xFF);
    Rewire();
}

bool Keypad4x4Attached() { return B().attached & BoardState::kKeypad; }

void SetKeypad4x4Key(int key, bool down) {
    SubmitInput(MakeInput(InputKind::DeviceKey, uint16_t(key & 15), down ? 1 : 0));
}

void ApplyKeypad4x4Key(int key, bool down) {
    B().keypad.SetKey(key, down);
    if (B().attached & BoardState::kKeypad) Update();
}

uint16_t Keypad4x4Keys() { return B().keypad.KeysDown(); }

void AttachSegmentPersistence(const SegmentWiring& wiring) {
    B().segments.Configure(wiring, BoardClockFrequency, Machine.cycles);
    B().attached |= BoardState::kSegments;
    B().segments.PinsSetByHand(Pins(), Machine.cycles);
    Rewire();
}

void DetachSegmentPersistence() {
    B().attached &= uint8_t(~BoardState::kSegments);
    Rewire();
}

uint64_t SegmentDigitsShown() {
    if (WorkerOwnsMachine()) return B().segments.Published();
    return B().segments.Shown(Machine.cycles);
}

void SetBoardClock(int32_t frequencyHz) {
    BoardClockFrequency = frequencyHz > 0 ? frequencyHz : 11059200;
    B().lcd.SetClock(frequencyHz);
    B().segments.SetClock(frequencyHz);
    TheClock.Renew();
}

void ResetBoard() {
    if (B().attached & BoardState::kSegments) {
        B().segments.Clear(Machine.cycles);
        B().segments.PinsSetByHand(Pins(), Machine.cycles);
    }
}

void DetachBoard() {
    B() = BoardState{};
    Schedule.clear();
    NextEvent = 0;
    Rewire();
}

void ScheduleKeypad4x4Presses(const std::vector<ScheduledKey>& presses, uint64_t holdCycles) {
    Schedule.clear();
    for (const ScheduledKey& p : presses) {
        Schedule.push_back({p.cycle, p.key & 15, true});
        Schedule.push_back({p.cycle + holdCycles, p.key & 15, false});
    }
    // Releases before presses at one cycle, so that a key pressed again right away goes down.
    std::stable_sort(Schedule.begin(), Schedule.end(), [](const KeyEvent& a, const KeyEvent& b) {
        return a.cycle != b.cycle ? a.cycle < b.cycle : (!a.down && b.down);
    });
    NextEvent = 0;
    Rewire();
}
