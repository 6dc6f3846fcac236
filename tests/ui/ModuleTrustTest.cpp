// Modules from a folder the user has not trusted: a program opened from a downloaded folder
// whose default.map names a library of its own runs none of that library's code until the user
// trusts the folder; the answer is kept in the settings, the menu forgets it, and a map the
// user names loads without a question. The library marks its file when it is loaded.
#include <QMenu>
#include <QSettings>
#include <QtTest>
#include <filesystem>

#include "ModuleTrustMenu.h"
#include "ProgramMenu.h"
#include "TestFolder.h"
#include "Tfdebug.h"
#include "Tfmain.h"

namespace {

using tervik::uitest::WriteFile;

}  // namespace

class ModuleTrustTest : public QObject {
  Q_OBJECT

 private:
  tervik::uitest::TestFolder dir_;
  QString project_;
  QString marker_;

  // Opens prog.asm of the project folder in a new window with the settings in `settings`;
  // `answer` is the user's, and `asked` counts the questions.
  std::unique_ptr<TFMain> Open(const QString& settings, bool answer, int& asked) {
    auto main = std::make_unique<TFMain>();
    main->UseSettings(settings);
    main->ModuleTrust()->SetAsker(
        [&asked, answer, this](const QString& folder, const QStringList& libraries) {
          ++asked;
          [&] {
            QCOMPARE(folder, project_);
            QCOMPARE(libraries, QStringList{project_ + "/libmarked.so"});
          }();
          return answer;
        });
    main->FormCreate();
    main->Program()->OpenSource((project_ + "/prog.asm").toStdString());
    return main;
  }

  bool Loaded() const { return QFileInfo::exists(marker_); }
  static bool ConsoleHas(const QString& text) {
    for (size_t i = 0; i < FDebug->Model()->LineCount(); ++i) {
      if (QString::fromStdString(std::string(FDebug->Model()->Line(i))).contains(text)) return true;
    }
    return false;
  }
  static size_t Regions(TFMain& main) { return main.Cpu().Regions().size(); }

 private slots:
  void init() {
    dir_.Enter();
    // A folder of its own for each test: a library stays loaded once it was.
    project_ = dir_.filePath(QString("downloaded-") + QTest::currentTestFunction());
    QDir().mkpath(project_);
    marker_ = project_ + "/libmarked.so.loaded";
    std::filesystem::copy_file(TERVIK_MARKER_MODULE, (project_ + "/libmarked.so").toStdString());
    WriteFile(project_ + "/default.map",
              "0x0 0x400 ROM\n0x1000 0x100 RAM\n0x7000 0x8 DLL ./libmarked.so x\n");
    WriteFile(project_ + "/prog.asm", "start: JUMPI start\n");
  }
  void cleanup() { dir_.Leave(); }

  void RefusedTrustedForgottenAndNamed() {
    const QString settings = dir_.filePath("tervik.conf");
    int asked = 0;
    {
      // Refused: ROM and RAM load, the module's code never runs.
      auto main = Open(settings, false, asked);
      QCOMPARE(asked, 1);
      QVERIFY(!Loaded());
      QCOMPARE(Regions(*main), size_t{2});
      QCOMPARE(main->ModuleTrust()->Refused(), QStringList{project_});
    }
    {
      // The answer is kept: a new window does not ask again and still leaves the module out.
      auto main = Open(settings, true, asked);
      QCOMPARE(asked, 1);
      QVERIFY(!Loaded());
      QVERIFY(ConsoleHas("Left out DLL './libmarked.so': " + project_ +
                         "/libmarked.so is not one of Tervik's modules and its folder is not "
                         "trusted"));
      // The menu lists the answer; choosing it forgets it.
      QMenu* menu = main->findChild<QMenu*>("ModuleFoldersMenu");
      QVERIFY(menu != nullptr);
      emit menu->aboutToShow();
      QCOMPARE(menu->actions().size(), 1);
      QVERIFY(menu->actions().front()->text().contains("(not trusted)"));
      menu->actions().front()->trigger();
      QTRY_VERIFY(main->ModuleTrust()->Refused().isEmpty());
    }
    QVERIFY(QSettings(settings, QSettings::IniFormat)
                .value("ModuleTrust/refused")
                .toStringList()
                .isEmpty());
    {
      // Asked again, trusted: the module loads and serves its region.
      auto main = Open(settings, true, asked);
      QCOMPARE(asked, 2);
      QVERIFY(Loaded());
      QCOMPARE(Regions(*main), size_t{3});
    }
    QCOMPARE(QSettings(settings, QSettings::IniFormat).value("ModuleTrust/trusted").toStringList(),
             QStringList{project_});
  }

  // A map the user names loads its modules without a question.
  void NamedMapNeedsNoTrust() {
    int asked = 0;
    TFMain main;
    main.ModuleTrust()->SetAsker([&](const QString&, const QStringList&) {
      ++asked;
      return false;
    });
    main.FormCreate(project_ + "/default.map", true);
    QCOMPARE(asked, 0);
    QVERIFY(Loaded());
    QCOMPARE(Regions(main), size_t{3});
  }

  // The working folder's default.map at start-up is found, not named: it asks.
  void StartUpMapOfTheWorkingFolderAsks() {
    int asked = 0;
    QDir::setCurrent(project_);
    TFMain main;
    main.ModuleTrust()->SetAsker([&](const QString&, const QStringList&) {
      ++asked;
      return false;
    });
    main.FormCreate();
    QCOMPARE(asked, 1);
    QVERIFY(!Loaded());
    QCOMPARE(Regions(main), size_t{2});
  }
};

QTEST_MAIN(ModuleTrustTest)
#include "ModuleTrustTest.moc"
