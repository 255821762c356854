// CUsbPortsView: the USB port's own PCL and PS switches.
#include "page_fixture.h"

using namespace pagetest;

namespace {
const StringMap kValues = {
    {"USBPCLEMUFLP", "ON"}, {"USBPSEMUFLP", "FLIPPED"}, {"PARPCLEMUFLP", "OFF"}, {"PARPSEMUFLP", "OFF"}};
} // namespace

class UsbPortsPage : public PageTest {};

TEST_F(UsbPortsPage, Switches) {
    Run(11, {
                {"shown: a value matching neither shows checked",
                 kValues,
                 nullptr,
                 {},
                 [](Driver& d) {
                     EXPECT_TRUE(d.Checked(1052));
                     EXPECT_TRUE(d.Checked(1053));
                     EXPECT_EQ(d.Label(1292), " 포트  >  USB");
                     EXPECT_EQ(QString::fromStdString(d.Label(1052)).trimmed(), "PCL Emuflip");
                     EXPECT_TRUE(d.At(1052, 33, 26, 137));
                     EXPECT_TRUE(d.At(1053, 33, 42, 137));
                 }},
                {"each switch stores the USB setting only",
                 kValues,
                 [](Driver& d) {
                     d.Click(1052);
                     d.Click(1053);
                 },
                 {{"USBPCLEMUFLP", "OFF"}, {"USBPSEMUFLP", "OFF"}}},
                {"clicking twice stores the checked value again",
                 kValues,
                 [](Driver& d) {
                     d.Click(1052);
                     d.Click(1052);
                 },
                 {{"USBPCLEMUFLP", "ON"}}},
            });
}
