// The program started where nothing is found: no res/ beside it and no statistics library.
#include <gtest/gtest.h>

#include <cstring>

#include "gui/shell/CLanguageTable.h"
#include "gui/shell/CMsgReceiver.h"
#include "gui/shell/CUIPublic.h"
#include "gui/shell/CategoryTable.h"
#include "gui/shell/UsageStats.h"
#include "gui/shell/tests/GuiTestSupport.h"

namespace {
class Quiet : public CMsgReceiver {
public:
    Quiet() : CMsgReceiver(0x02040004) {}
    void OnMessage(int, int) override {}
};
}  // namespace

TEST(BareServicesTest, EverythingIsEmptyAndNothingIsSent) {
    StatsLog stats;
    // The category table was built before main: empty labels, icons set.
    for (int id = 0; id < CATEGORY_COUNT; ++id) {
        EXPECT_STREQ(GetCategoryItem(id)->label, "");
        EXPECT_STRNE(GetCategoryItem(id)->icon, "");
    }
    EXPECT_STREQ(GetLangString("CONTACT_LABEL"), "");
    EXPECT_STREQ(GetLangLink("MenuSupportUrl"), "");

    CUIPublic* services = CUIPublic::Instance();
    EXPECT_EQ(services->GetLogicalController(), nullptr);
    EXPECT_EQ(services->GetProductName(), "");
    EXPECT_EQ(services->GetVersion(), "");
    EXPECT_EQ(services->GetCheckImage(0), nullptr);
    EXPECT_EQ(services->GetTypeName(0x1301), "");

    Quiet receiver;
    unsigned char buffer[4] = {1, 2, 3, 4};
    unsigned len = sizeof buffer;
    ResultCode rc = receiver.GetMsg(buffer, &len);
    EXPECT_EQ(ErrorNumber(rc), 1u);
    EXPECT_TRUE(Failed(rc));
    EXPECT_EQ(buffer[0], 1);

    services->ReportValue(12364, 1);
    services->ReportCounters();
    services->ReportShutdown();
    services->ReleaseLogicalController();
    EXPECT_EQ(SendTextEvent(12366, "French"), 0);
    EXPECT_TRUE(stats.Lines().empty());
}
