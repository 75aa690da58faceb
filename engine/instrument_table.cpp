#include "engine/instrument_table.h"

#include <array>

namespace engine {
namespace {

// The vendor part is always 7A5C; the letter case varies and means nothing,
// since every comparison ignores it.
constexpr const char* Id0011 = "USB\\Vid_7a5c&Pid_0011";
constexpr const char* Id0012 = "USB\\Vid_7a5c&Pid_0012";
constexpr const char* Id000E = "USB\\VID_7a5c&PID_000E";
constexpr const char* Id000F = "USB\\VID_7a5c&PID_000F";
constexpr const char* Id000A = "USB\\Vid_7a5c&Pid_000A";
constexpr const char* Id000B = "USB\\Vid_7a5c&Pid_000B";
constexpr const char* Id0008 = "USB\\Vid_7a5c&Pid_0008";
constexpr const char* Id0009 = "USB\\Vid_7a5c&Pid_0009";
constexpr const char* Id00FB = "USB\\Vid_7a5c&Pid_00fb";
constexpr const char* Id00FC = "USB\\Vid_7a5c&Pid_00fc";
constexpr const char* Id0010 = "USB\\VID_7A5C&PID_0010";
constexpr const char* Id0018 = "USB\\VID_7A5C&PID_0018";
constexpr const char* Id0042 = "USB\\VID_7A5C&PID_0042";
constexpr const char* Id00FD = "USB\\VID_7A5C&PID_00fd";
constexpr const char* Id00FE = "USB\\VID_7A5C&PID_00fe";
constexpr const char* Id0014 = "USB\\Vid_7a5c&Pid_0014";
constexpr const char* Id0015 = "USB\\Vid_7a5c&Pid_0015";

// Interface classes of the instrument drivers (Q4 and Q4 Diff share one).
constexpr Guid kK2Class{0x1A23B247, 0xC9CF, 0x43F5, {0xA7, 0xAE, 0x6B, 0x1F, 0xF4, 0xBD, 0xB5, 0x2A}};
constexpr Guid kQ2Class{0x24919A8D, 0x2502, 0x49CA, {0xB3, 0x7B, 0xC3, 0x48, 0xEE, 0x6E, 0x70, 0x8C}};
constexpr Guid kQ3Class{0x4CA564D7, 0x4F81, 0x4C2C, {0x94, 0xA9, 0x66, 0x09, 0xA5, 0x7D, 0x26, 0xA5}};
constexpr Guid kQ4Class{0x9B739684, 0x14D2, 0x447F, {0x86, 0x5E, 0x28, 0xE2, 0x15, 0x76, 0x13, 0x9A}};
constexpr Guid kD801Class{0xF9B424D4, 0x51A1, 0x40E0, {0x8E, 0xB1, 0x1B, 0x90, 0x97, 0xAF, 0x98, 0x11}};
constexpr Guid kD805Class{0x897B5A9B, 0x25C7, 0x4C20, {0xBD, 0x6A, 0xC1, 0x3E, 0xA4, 0x39, 0x7A, 0x6A}};
constexpr Guid kUsbAdapterClass{0x3A041F1F, 0xA2AC, 0x4453, {0xA0, 0x57, 0x82, 0x9C, 0x89, 0x69, 0x20, 0x83}};
constexpr Guid kK3Class{0x67A0279B, 0x3337, 0x4BC2, {0xAA, 0x79, 0x56, 0xC8, 0x02, 0xEA, 0xA7, 0x2F}};

constexpr std::array kK3Ids{Id0015, Id0014};
constexpr std::array kD805Ids{Id0012, Id0011};
constexpr std::array kQ4DiffIds{Id000F, Id000E};
constexpr std::array kQ4Ids{Id000B, Id000A};
constexpr std::array kQ3Ids{Id0009, Id0008, Id00FB, Id00FC};
constexpr std::array kQ2Ids{Id0010};
constexpr std::array kK2Ids{Id0018};
constexpr std::array kD801Ids{Id0042};
// The USB adapter that Q2, K2 and D801 need; removed with each of them.
constexpr std::array kUsbAdapterIds{Id00FD, Id00FE};

constexpr std::array kK3Groups{RemovalGroup{kK3Class, kK3Ids}};
constexpr std::array kD805Groups{RemovalGroup{kD805Class, kD805Ids}};
constexpr std::array kQ4DiffGroups{RemovalGroup{kQ4Class, kQ4DiffIds}};
constexpr std::array kQ4Groups{RemovalGroup{kQ4Class, kQ4Ids}};
constexpr std::array kQ3Groups{RemovalGroup{kQ3Class, kQ3Ids}};
constexpr std::array kQ2Groups{RemovalGroup{kQ2Class, kQ2Ids},
                               RemovalGroup{kUsbAdapterClass, kUsbAdapterIds}};
constexpr std::array kK2Groups{RemovalGroup{kK2Class, kK2Ids},
                               RemovalGroup{kUsbAdapterClass, kUsbAdapterIds}};
constexpr std::array kD801Groups{RemovalGroup{kD801Class, kD801Ids},
                                 RemovalGroup{kUsbAdapterClass, kUsbAdapterIds}};

constexpr std::array kTable{
    InstrumentEntry{InstrumentKind::K3, "cbK3", "Quadrastik K3", Id0014, kK3Groups},
    InstrumentEntry{InstrumentKind::D805, "cbD805", "VarnelDESK D805", Id0011, kD805Groups},
    InstrumentEntry{InstrumentKind::Q4Diff, "cbQ4Diff", "Quadrascan Q4 Diff", Id000E, kQ4DiffGroups},
    InstrumentEntry{InstrumentKind::Q4, "cbQ4", "Quadrascan Q4", Id000A, kQ4Groups},
    InstrumentEntry{InstrumentKind::Q3, "cbQ3", "Quadrascan Q3", Id0008, kQ3Groups},
    InstrumentEntry{InstrumentKind::Q2, "cbQ2", "Quadrascan Q2 + USB adapter", Id0010, kQ2Groups},
    InstrumentEntry{InstrumentKind::K2, "cbK2", "Quadrastik K2 + USB adapter", Id0018, kK2Groups},
    InstrumentEntry{InstrumentKind::D801, "cbD801", "VarnelDESK D801 + USB adapter", Id0042,
                    kD801Groups},
};

// InstrumentEntryFor indexes the table by kind.
constexpr bool RowsInKindOrder() {
  for (size_t row = 0; row < kTable.size(); ++row) {
    if (static_cast<size_t>(kTable[row].kind) != row) return false;
  }
  return true;
}
static_assert(RowsInKindOrder());

}  // namespace

const InstrumentEntry& InstrumentEntryFor(InstrumentKind kind) {
  return kTable[static_cast<size_t>(kind)];
}

std::span<const InstrumentEntry> InstrumentTable() { return kTable; }

bool IsInstrumentDevice(DevicePlatform& platform, const std::vector<std::string>& hardware_ids) {
  for (const InstrumentEntry& entry : InstrumentTable()) {
    for (const RemovalGroup& group : entry.groups) {
      for (const char* id : group.ids) {
        if (HardwareIdsContain(platform, hardware_ids, id)) return true;
      }
    }
  }
  return false;
}

}  // namespace engine
