// CUsbPortsView: the USB port's own PCL and PS switches.
#include "page_fixture.h"

using namespace pagetest;

class UsbPortsPage : public PageTest {};

TEST_F(UsbPortsPage, Switches) {
    const StringMap values = {
        {"USBPCLEMUFLP", "ON"}, {"USBPSEMUFLP", "FLIPPED"}, {"PARPCLEMUFLP", "OFF"}, {"PARPSEMUFLP", "OFF"}};
    Run(11, {
                {"shown: a value matching neither shows checked",
                 values,
                 nullptr,
                 {},
                 [](Driver& d) {
                     EXPECT_TRUE(d.Checked(1052) && d.Checked(1053));
                     EXPECT_EQ(d.Label(1292), " 포트  >  USB");
                     EXPECT_EQ(QString::fromStdString(d.Label(1052)).trimmed(), "PCL Emuflip");
                     EXPECT_TRUE(d.At(1052, 33, 26, 137));
                     EXPECT_TRUE(d.At(1053, 33, 42, 137));
                 }},
                {"each switch stores the USB setting only",
                 values,
                 [](Driver& d) {
                     d.Click(1052);
                     d.Click(1053);
                 },
                 {{"USBPCLEMUFLP", "OFF"}, {"USBPSEMUFLP", "OFF"}}},
            });
}
