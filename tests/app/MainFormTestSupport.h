// A main window on a pseudo-terminal linked as COM2, and the Data_Exchange
// responses the tests feed it.
#pragma once

#include "tests/support/AppEnvironment.h"
#include "DataExchangeReply.h"
#include "tests/support/QtTestSupport.h"
#include "app/MainForm.h"
#include "app/WZMdata.h"
#include "dp/Profi_dp.h"
#include "serial/VeltPort.h"

#include <QComboBox>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QScreen>
#include <QTabWidget>
#include <QTextBlock>
#include <gtest/gtest.h>
#include <memory>

namespace apptest {

inline QString LastLine(const QPlainTextEdit* memo) { return memo->document()->lastBlock().text(); }

// The window's visible message box named `name`, waited for up to `ms`.
inline QMessageBox* WaitForBox(const TForm1& form, const char* name, int ms)
{
    QMessageBox* box = nullptr;
    WaitFor(
        [&] {
            box = nullptr;
            for (QMessageBox* b : form.findChildren<QMessageBox*>(name))
                if (b->isVisible()) box = b;
            return box != nullptr;
        },
        ms);
    return box;
}

// `dialog` opened centred on `window` and within the screen.
inline void ExpectCentredOn(const QWidget& dialog, const QWidget& window)
{
    EXPECT_TRUE(window.screen()->availableGeometry().contains(dialog.frameGeometry()));
    const QPoint offset = dialog.frameGeometry().center() - window.frameGeometry().center();
    EXPECT_LE(offset.manhattanLength(), 4) << offset.x() << "," << offset.y();
}

class WindowTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        TVeltCustomComPort::SetDefaultPortPrompt([](int&) { return false; });
        tree.Link(2, line.path);
        form = std::make_unique<TForm1>();
    }
    void TearDown() override
    {
        CloseAllBoxes();
        form.reset();
    }

    TByteString& Out() { return form->Master->OutputData; }
    std::string OutHex() { return HexDump(Out()); }

    TTempTree tree;
    PtyPair line;
    std::unique_ptr<TForm1> form;
};

}  // namespace apptest
