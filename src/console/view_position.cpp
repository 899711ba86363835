#include "console/view_position.h"

std::atomic<int32_t> RegisterViewStart{0};
std::atomic<int32_t> CoilViewStart{0};
std::atomic<int32_t> InputRegisterViewStart{0};
std::atomic<int32_t> DiscreteInputViewStart{0};

std::atomic<int32_t>& ViewStartOf(DataTable table)
{
    switch (table) {
    case DataTable::Coils:
        return CoilViewStart;
    case DataTable::DiscreteInputs:
        return DiscreteInputViewStart;
    case DataTable::InputRegisters:
        return InputRegisterViewStart;
    case DataTable::HoldingRegisters:
        break;
    }
    return RegisterViewStart;
}

int ScrollPositionForValue(int32_t value)
{
    int32_t position = value / kGridLineStep;
    if (position < 0) {
        position = 0;
    }
    if (position > kHighestScrollPosition) {
        position = kHighestScrollPosition;
    }
    return position;
}

bool ScrollRequestValue(int request, int32_t base, int thumbPosition, int32_t* value)
{
    switch (request) {
    case kScrollLineUp:
        *value = base - kGridLineStep;
        return true;
    case kScrollLineDown:
        *value = base + kGridLineStep;
        return true;
    case kScrollPageUp:
        *value = base - kGridPageStep;
        return true;
    case kScrollPageDown:
        *value = base + kGridPageStep;
        return true;
    case kScrollThumbTrack:
        *value = thumbPosition * kGridLineStep;
        return true;
    default:
        return false;
    }
}

int32_t GoToValue(uint32_t typed)
{
    return typed > INT32_MAX ? INT32_MAX : static_cast<int32_t>(typed);
}
