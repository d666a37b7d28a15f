// Where the save and open dialogs start: Documents, then the last folder
// chosen while it exists.
#include "app/FileDialogs.h"
#include "tests/support/TempFolder.h"

#include <QCoreApplication>
#include <QDir>
#include <QSettings>
#include <gtest/gtest.h>

TEST(FileDialogs, StartInDocumentsThenInTheLastFolderWhileItExists)
{
    TempFolder home;
    home.MakeFolder("Documents");
    home.MakeFolder("elsewhere");
    const ScopedEnv homeEnv("HOME", home.str());
    const ScopedEnv xdg("XDG_CONFIG_HOME", (home.path / "config").string());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, QString::fromStdString(home.str()));
    QCoreApplication::setOrganizationName("Quorvel");
    const auto folder = [&](const char* name) {
        return QDir::cleanPath(QString::fromStdString((home.path / name).string()));
    };

    EXPECT_EQ(filedialog::StartFolder(), folder("Documents"));
    filedialog::RememberFolder(folder("elsewhere") + "/backup.txt");
    EXPECT_EQ(filedialog::StartFolder(), folder("elsewhere"));
    std::filesystem::remove(home.path / "elsewhere");
    EXPECT_EQ(filedialog::StartFolder(), folder("Documents"));
}
