// The parameter pages built from a configuration file on a real page control.
#include "Hex.h"
#include "Parameters.h"

#include <QDir>
#include <QFile>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QtTest/QTest>
#include <gtest/gtest.h>
#include <memory>

namespace {

class ParameterPages : public ::testing::Test {
protected:
    void SetUp() override
    {
        pages = std::make_unique<QTabWidget>();
        for (const char* caption : {"Standard", "Trigger", "Filling", "Mass flow"}) {
            auto* page = new QWidget;
            pages->addTab(page, QString::fromLatin1(caption));
            page->resize(321, 477);
        }
    }
    std::string WriteConf(const QByteArray& content, const QString& name = QStringLiteral("Quorvel.conf"))
    {
        const QString path = dir.filePath(name);
        QDir().mkpath(QFileInfo(path).absolutePath());
        QFile file(path);
        EXPECT_TRUE(file.open(QIODevice::WriteOnly));
        file.write(content);
        return path.toStdString();
    }
    void Load(const QByteArray& content)
    {
        parameters = new TParameters(pages.get(), [this](const QString& m) { messages << m; }, {WriteConf(content)});
    }

    QTemporaryDir dir;
    std::unique_ptr<QTabWidget> pages;
    TParameters* parameters = nullptr;
    QStringList messages;
};

TEST_F(ParameterPages, RowsFromTheItemLinesBelowTheHeader)
{
    Load("Parameter file\nsheet Standard\nitem 'Zero range'\nitem 'Filter value'\n  item 'X'\nend\n");
    ASSERT_EQ(parameters->SheetCount, 1);
    const TParamSheet* sheet = parameters->Sheet(0);
    ASSERT_NE(sheet, nullptr);
    ASSERT_EQ(sheet->ItemCount, 3);
    EXPECT_EQ(sheet->Cells[0]->NameLabel->text(), QStringLiteral("01  Zero range"));
    EXPECT_EQ(sheet->Cells[1]->NameLabel->text(), QStringLiteral("02  Filter value"));
    EXPECT_EQ(sheet->Cells[2]->NameLabel->text(), QStringLiteral("03   "));
    for (int row = 0; row < 3; ++row) {
        const TFillCell& cell = *sheet->Cells[row];
        EXPECT_EQ(HexFromBytes(cell.Command), "1F 0" + std::to_string(row + 1));
        EXPECT_EQ(cell.Edit->Tag, row);
        EXPECT_EQ(cell.SetButton->Tag, row + 2);  // the item's line in the file
        EXPECT_EQ(cell.SetButton->text(), QStringLiteral("Set"));
        EXPECT_FALSE(cell.SetButton->isEnabled());
        EXPECT_EQ(cell.Edit->parentWidget(), pages->widget(0));
    }
    EXPECT_EQ(sheet->Cells[3], nullptr);
    EXPECT_EQ(sheet->ReadButton->text(), QStringLiteral("Read"));
    EXPECT_EQ(sheet->ReadButton->Tag, 0);
    for (int page = 1; page < conf::MaxSheets; ++page) EXPECT_EQ(parameters->Sheet(page), nullptr);
    EXPECT_TRUE(messages.first().contains(parameters->FileName));
}

TEST_F(ParameterPages, HeaderOnTheFirstLineAndInAnyLetterCase)
{
    Load("SHEET standard\nitem 'a'\nitem 'b'\nsheet trigger\nitem 'c'");
    ASSERT_EQ(parameters->SheetCount, 2);
    EXPECT_EQ(parameters->Sheet(0)->ItemCount, 2);
    EXPECT_EQ(HexFromBytes(parameters->Sheet(0)->Cells[1]->Command), "1F 02");  // prefix from the page's caption
    EXPECT_EQ(HexFromBytes(parameters->Sheet(1)->Cells[0]->Command), "26 01");
    EXPECT_EQ(parameters->Sheet(1)->ReadButton->Tag, 1);
}

TEST_F(ParameterPages, MissingPageLeavesAGapAndLaterPagesKeepTheirPlace)
{
    Load("x\nsheet Filling\nitem 'a'\n\nsheet Trigger\nend\n");
    EXPECT_EQ(parameters->SheetCount, 1);
    EXPECT_EQ(parameters->Sheet(0), nullptr);
    EXPECT_EQ(parameters->Sheet(1), nullptr);  // header without items
    ASSERT_NE(parameters->Sheet(2), nullptr);
    EXPECT_EQ(HexFromBytes(parameters->Sheet(2)->Cells[0]->Command), "06 01");
    EXPECT_EQ(parameters->Sheet(2)->ReadButton->Tag, 2);
    EXPECT_TRUE(pages->widget(0)->findChildren<QWidget*>().isEmpty());
}

TEST_F(ParameterPages, TenItemsNumberedTwoDigitsAndMoreThan32Cut)
{
    QByteArray file = "sheet Mass flow\n";
    for (int i = 1; i <= 40; ++i) file += "item 'p" + QByteArray::number(i) + "'\n";
    Load(file);
    const TParamSheet* sheet = parameters->Sheet(3);
    ASSERT_NE(sheet, nullptr);
    EXPECT_EQ(sheet->ItemCount, 32);
    EXPECT_EQ(sheet->Cells[8]->NameLabel->text(), QStringLiteral("09  p9"));
    EXPECT_EQ(sheet->Cells[9]->NameLabel->text(), QStringLiteral("10  p10"));
    EXPECT_EQ(HexFromBytes(sheet->Cells[31]->Command), "2A 20");
    EXPECT_EQ(sheet->ReadButton->Tag, 3);
    ASSERT_EQ(messages.size(), 2);
    EXPECT_TRUE(messages[1].contains(QStringLiteral("40 items")));
    EXPECT_TRUE(messages[1].contains(QStringLiteral("first 32")));
}

TEST_F(ParameterPages, RowGeometryFollowsThePageSize)
{
    QByteArray file = "sheet Standard\n";
    for (int i = 0; i < 5; ++i) file += "item 'a'\n";
    file += "sheet Trigger\n";
    for (int i = 0; i < 30; ++i) file += "item 'b'\n";
    Load(file);
    const TParamSheet* five = parameters->Sheet(0);
    EXPECT_EQ(five->RowHeight, 21u);
    EXPECT_EQ(five->ColumnWidth, 152u);
    const TFillCell& first = *five->Cells[0];
    EXPECT_EQ(first.NameLabel->geometry().topLeft(), QPoint(8, 21 + 36));
    EXPECT_EQ(first.NameLabel->width(), 152);
    EXPECT_EQ(first.Edit->geometry(), QRect(160, 21 + 34, 152 - 38, 17));
    EXPECT_EQ(first.SetButton->geometry(), QRect(160 + 114, 21 + 35, 38, 21));
    EXPECT_EQ(five->ReadButton->geometry().topLeft(), QPoint(8, 24));
    EXPECT_EQ(parameters->Sheet(1)->RowHeight, 15u);

    // Shown, the page control gives its pages their real size; the rows follow.
    pages->resize(500, 300);
    pages->show();
    QWidget* page = pages->widget(0);
    ASSERT_TRUE(QTest::qWaitForWindowExposed(pages.get()));
    ASSERT_NE(page->width(), 321);
    const int column = (page->width() - 16) / 2;
    EXPECT_EQ(five->ColumnWidth, static_cast<unsigned>(column));
    EXPECT_EQ(five->RowHeight, static_cast<unsigned>(std::clamp((page->height() - 56) / 5, 15, 21)));
    EXPECT_EQ(five->Cells[4]->Edit->geometry(),
              QRect(column + 8, 5 * int(five->RowHeight) + 34, column - column / 4, int(five->RowHeight) - 4));
}

TEST_F(ParameterPages, TypingEnablesSetAndSetReportsTheRow)
{
    Load("sheet Standard\nitem 'a'\nitem 'b'\n");
    TParamSheet* sheet = parameters->Sheet(0);
    std::vector<TFillCell*> set;
    sheet->SetOnSetValue([&set](TFillCell* cell) { set.push_back(cell); });
    TFillCell& second = *sheet->Cells[1];
    QTest::keyClicks(second.Edit, QStringLiteral("100"));
    EXPECT_TRUE(second.SetButton->isEnabled());
    EXPECT_FALSE(sheet->Cells[0]->SetButton->isEnabled());
    second.SetButton->click();
    ASSERT_EQ(set.size(), 1u);
    EXPECT_EQ(set[0], &second);
    EXPECT_EQ(second.Edit->text(), QStringLiteral("100"));
    EXPECT_FALSE(second.SetButton->isEnabled());

    // The main window writing a value does not count as typing.
    second.Edit->setText(QStringLiteral("7"));
    EXPECT_FALSE(second.SetButton->isEnabled());
    sheet->SetOnSetValue({});
    QTest::keyClicks(second.Edit, QStringLiteral("1"));
    second.SetButton->click();  // no handler: only disables
    EXPECT_FALSE(second.SetButton->isEnabled());
    EXPECT_EQ(set.size(), 1u);
}

TEST_F(ParameterPages, AnswersFillTheItemAlsoAfterAWrite)
{
    Load("sheet Standard\nitem 'a'\nsheet Filling\nitem 'a'\nitem 'b'\n");
    TFillCell& cell = *parameters->Sheet(2)->Cells[1];
    QTest::keyClicks(cell.Edit, QStringLiteral("9"));
    parameters->UpdateItem(2, 0x82, 100);  // confirmed write of item 2
    EXPECT_EQ(cell.Edit->text(), QStringLiteral("100"));
    EXPECT_FALSE(cell.SetButton->isEnabled());
    parameters->UpdateItem(2, 0x02, -4);
    EXPECT_EQ(cell.Edit->text(), QStringLiteral("-4"));

    parameters->MarkItemUnavailable(2, 1);
    const TFillCell& refused = *parameters->Sheet(2)->Cells[0];
    EXPECT_FALSE(refused.Edit->isEnabled());
    EXPECT_NE(refused.Edit->palette().color(QPalette::Base), QApplication::palette(refused.Edit).color(QPalette::Base));
    parameters->UpdateItem(2, 1, 5);  // a later answer restores the colour, not the enabled state
    EXPECT_EQ(refused.Edit->palette().color(QPalette::Base), QApplication::palette(refused.Edit).color(QPalette::Base));
    EXPECT_FALSE(refused.Edit->isEnabled());

    // Items and sheets that do not exist are left alone.
    parameters->UpdateItem(2, 3, 1);
    parameters->UpdateItem(2, 0, 1);
    parameters->UpdateItem(1, 1, 1);
    parameters->UpdateItem(9, 1, 1);
    parameters->MarkItemUnavailable(0, 2);
    parameters->MarkItemUnavailable(-1, 1);
}

TEST_F(ParameterPages, NoFileLeavesThePagesEmptyWithAMessage)
{
    parameters = new TParameters(pages.get(), [this](const QString& m) { messages << m; },
                                 {dir.filePath(QStringLiteral("none/Quorvel.conf")).toStdString()});
    EXPECT_EQ(parameters->SheetCount, 0);
    EXPECT_TRUE(parameters->FileName.isEmpty());
    ASSERT_EQ(messages.size(), 1);
    EXPECT_TRUE(messages[0].contains(QStringLiteral("not found")));
    for (int page = 0; page < pages->count(); ++page) EXPECT_TRUE(pages->widget(page)->children().isEmpty());
}

TEST_F(ParameterPages, FreeingThePageControlFreesTheSheets)
{
    Load("sheet Standard\nitem 'a'\nsheet Trigger\nitem 'b'\n");
    QPointer<TParamSheet> sheet = parameters->Sheet(1);
    pages.reset();
    EXPECT_TRUE(sheet.isNull());

    SetUp();
    Load("sheet Standard\nitem 'a'\n");
    delete parameters;
    EXPECT_TRUE(pages->widget(0)->children().isEmpty());
}

// Without a file in the current directory the copy shipped beside the
// program (here: beside the test) is read; the installed copy comes last.
TEST_F(ParameterPages, FallsBackToTheShippedFileBesideTheProgram)
{
    const QString previous = QDir::currentPath();
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    parameters = new TParameters(pages.get(), [this](const QString& m) { messages << m; });
    QDir::setCurrent(previous);
    const QString beside =
        QDir(QCoreApplication::applicationDirPath()).absoluteFilePath(QStringLiteral("Quorvel.conf"));
    EXPECT_EQ(parameters->FileName, beside);
    EXPECT_TRUE(messages.first().contains(beside));
    EXPECT_EQ(parameters->SheetCount, 4);

    // A file in the current directory wins.
    WriteConf("sheet Trigger\nitem 'a'\n");
    ASSERT_TRUE(QDir::setCurrent(dir.path()));
    const auto candidates = TParameters::DefaultConfigCandidates();
    QDir::setCurrent(previous);
    EXPECT_EQ(QString::fromStdString(candidates.at(0)), dir.filePath(QStringLiteral("Quorvel.conf")));
    EXPECT_EQ(QString::fromStdString(candidates.at(1)), beside);
    ASSERT_EQ(candidates.size(), 3u);  // then the installed copy
    EXPECT_TRUE(candidates[2].ends_with("/share/quorvel/Quorvel.conf")) << candidates[2];
}

}  // namespace
