// A main window on a pseudo-terminal linked as COM2, and the Data_Exchange
// responses the tests feed it.
#pragma once

#include "AppEnvironment.h"
#include "DataExchangeReply.h"
#include "QtTestSupport.h"
#include "MainForm.h"
#include "WZMdata.h"
#include "dp/Profi_dp.h"
#include "serial/VeltPort.h"

#include <QComboBox>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextBlock>
#include <gtest/gtest.h>
#include <memory>

namespace apptest {

inline QString LastLine(const QPlainTextEdit* memo) { return memo->document()->lastBlock().text(); }

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
