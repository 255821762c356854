// CParallelPortsView: six switches of the parallel port and its protocol.
#include "page_fixture.h"

using namespace pagetest;

namespace {
const int kChecks[] = {1058, 1059, 1060, 1061, 1062, 1063};
const char* const kNames[] = {"MODE1", "MODE2", "ADVSTATUS", "HONORINIT", "PARPCLEMUFLP", "PARPSEMUFLP"};
const char* const kTexts[] = {"병렬 모드 1", "병렬 모드 2", "고급 상태",
                              "Honor Init",  "PCL Emuflip", "PS Emuflip"};
const StringMap kValues = {{"MODE1", "ON"},          {"MODE2", "OFF"},        {"ADVSTATUS", "on"},
                           {"HONORINIT", "UNKNOWN"}, {"PARPCLEMUFLP", "OFF"}, {"PARPSEMUFLP", "ON"},
                           {"USBPCLEMUFLP", "OFF"},  {"USBPSEMUFLP", "ON"},   {"PROTOCOL", "FASTBYTES"}};
} // namespace

class ParallelPortsPage : public PageTest {};

TEST_F(ParallelPortsPage, SwitchesAndProtocol) {
    Run(10, {
                {"shown",
                 kValues,
                 nullptr,
                 {},
                 [](Driver& d) {
                     const bool checked[] = {true, false, true, true, false, true};
                     for (int i = 0; i < 6; ++i) {
                         EXPECT_EQ(d.Checked(kChecks[i]), checked[i]) << kNames[i];
                         EXPECT_EQ(QString::fromStdString(d.Label(kChecks[i])).trimmed().toStdString(),
                                   kTexts[i]);
                         EXPECT_TRUE(d.At(kChecks[i], 30, 29 + 16 * i, 139));
                     }
                     EXPECT_EQ(d.Selected(1064), "PROTOCOL:FASTBYTES");
                     EXPECT_EQ(d.Label(1291), " 포트  >  병렬");
                     EXPECT_EQ(d.Label(1071), "Protocol");
                 }},
                {"each switch stores its own setting, not the USB port's; the protocol its choice",
                 kValues,
                 [](Driver& d) {
                     for (int id : kChecks)
                         d.Click(id);
                     d.Select(1064, "PROTOCOL:STANDARD");
                 },
                 {{"MODE1", "OFF"},
                  {"MODE2", "ON"},
                  {"ADVSTATUS", "OFF"},
                  {"HONORINIT", "OFF"},
                  {"PARPCLEMUFLP", "ON"},
                  {"PARPSEMUFLP", "OFF"},
                  {"PROTOCOL", "STANDARD"}}},
            });
}
