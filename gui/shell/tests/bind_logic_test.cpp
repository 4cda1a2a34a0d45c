// The GUI binds the logic library found beside the program: its controller crosses the library
// boundary as an ICommon and is cast to ILogicalController.
#include <gtest/gtest.h>

#include "gui/shell/CNotifyCentor.h"
#include "gui/shell/CUIPublic.h"
#include "logic_contract/ILogicalController.h"
#include "platform/DynamicLibrary.h"

TEST(BindLogicTest, TheControllerIsCastInitialisedWithTheCentreAndReleasedOnce) {
    ILogicalController* controller = CUIPublic::Instance()->GetLogicalController();
    ASSERT_NE(controller, nullptr);
    platform::LibraryHandle library = platform::LoadLibraryW(L"Vantrel.dll");
    auto releases = reinterpret_cast<int (*)()>(platform::GetProcAddress(library, "FakeReleases"));
    auto centre = reinterpret_cast<INotifyCenter* (*)()>(platform::GetProcAddress(library, "FakeCentre"));
    ASSERT_TRUE(releases && centre);
    EXPECT_EQ(centre(), CNotifyCentor::Instance());
    EXPECT_TRUE(Failed(controller->GetMsg(1, nullptr, nullptr)));

    CUIPublic::Instance()->ReleaseLogicalController();
    CUIPublic::Instance()->ReleaseLogicalController();
    EXPECT_EQ(releases(), 1);
    EXPECT_EQ(CUIPublic::Instance()->GetLogicalController(), nullptr);
}
