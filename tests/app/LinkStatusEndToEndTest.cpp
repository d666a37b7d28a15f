// What the window says about the link, against quorvel-slave: a refused
// start-up never says "Connected", a silent address is named with a way out,
// and a new address takes effect at once.
#include "MainFormTestSupport.h"

#include "app/StationsDialog.h"

#include <QLabel>
#include <QMessageBox>
#include <QRegularExpression>

using namespace apptest;

namespace {

class LinkStatus : public ::testing::Test {
protected:
    void SetUp() override
    {
        TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });
    }
    void TearDown() override
    {
        CloseAllBoxes();
        form.reset();
        slave.reset();
    }
    void Begin(int slaveModules)
    {
        slave = std::make_unique<TSlaveProcess>(slaveModules);
        form = std::make_unique<TForm1>();
        QObject::connect(form->edbxCommStatus, &QLineEdit::textChanged, [this](const QString& t) { shown << t; });
    }
    QString Status() const { return form->edbxCommStatus->text(); }

    TTempTree tree;
    std::unique_ptr<TSlaveProcess> slave;
    std::unique_ptr<TForm1> form;
    QStringList shown;  // every text of the status edit
};

}  // namespace

TEST_F(LinkStatus, RefusedConfigurationNeverSaysConnectedAndKeepsItsReasonInView)
{
    Begin(8);  // the window sends one module
    form->StartButton->click();
    QMessageBox* offer = WaitForBox(*form, "ModuleCountOffer", 10000);
    ASSERT_NE(offer, nullptr);
    EXPECT_TRUE(offer->text().startsWith("The slave has 8 modules, the WZM count is 1."))
        << offer->text().toStdString();
    offer->button(QMessageBox::No)->click();
    ASSERT_TRUE(
        WaitFor([&] { return form->mMessages->toPlainText().contains("Configuration refused (\u00d73)"); }, 10000))
        << form->mMessages->toPlainText().toStdString();

    EXPECT_FALSE(shown.contains("Connected"));
    EXPECT_TRUE(Status().startsWith("Configuration refus")) << "elided in the narrow edit, whole in the status bar";
    EXPECT_EQ(form->edbxCommStatus->palette().color(QPalette::Text), QColor(128, 0, 0));
    const QString reason = "Slave 3 refused the configuration: WZM count is 1, the slave has 8 modules";
    EXPECT_EQ(form->edbxCommStatus->toolTip(), reason);
    EXPECT_EQ(form->lbStatusLink->text(), "Link: Configuration refused");
    EXPECT_EQ(form->lbStatusLink->toolTip(), reason);
    EXPECT_EQ(form->mMessages->toPlainText().count(reason), 1) << "the reason is said once";

    form->SetModuleCountFromCode(8);  // what "Yes" does
    ASSERT_TRUE(WaitFor([&] { return Status() == "Connected"; }, 10000)) << Status().toStdString();
    EXPECT_EQ(form->lbStatusLink->text(), "Link: Connected");
    EXPECT_FALSE(form->mMessages->toPlainText().contains("WZM count is 8")) << "a refusal names the count sent";
}

TEST_F(LinkStatus, NewAddressTakesEffectAtOnceAndASilentOneOffersFindStations)
{
    Begin(1);
    form->StartButton->click();
    ASSERT_TRUE(WaitFor([&] { return Status() == "Connected"; }, 10000));
    TypeAndEnter(form->cbxProfiAddr, "9");
    EXPECT_TRUE(WaitFor([&] { return Status() == "Connecting"; }, 500)) << Status().toStdString();
    EXPECT_FALSE(form->Pages[0]->edbxGross->isEnabled());

    QMessageBox* box = WaitForBox(*form, "NoStationBox", 8000);
    ASSERT_NE(box, nullptr);
    EXPECT_EQ(form->edbxCommStatus->toolTip(), "No station answers at address 9");
    EXPECT_EQ(form->lbStatusLink->text(), "Link: No station answers at address 9");
    EXPECT_TRUE(form->mMessages->toPlainText().contains(
        QRegularExpression("^Connecting \\(\u00d7\\d+\\)$", QRegularExpression::MultilineOption)))
        << "repeated lines are folded";
    EXPECT_EQ(box->defaultButton()->text(), "&Find stations");
    box->defaultButton()->click();
    EXPECT_EQ(form->Master->CurrentState().State, stIdle);
    ASSERT_TRUE(form->StationsDialog() && form->StationsDialog()->isVisible());
    form->StationsDialog()->reject();
}
