// The module folders the user trusted or refused, the question and the menu.
#include "ModuleTrustMenu.h"

#include <QAction>
#include <QDir>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>

#include "PathNames.h"

namespace {

constexpr const char* kTrustedKey = "ModuleTrust/trusted";
constexpr const char* kRefusedKey = "ModuleTrust/refused";

QString Shown(const QString& path) {
  return QDir::toNativeSeparators(path);
}

}  // namespace

TModuleTrustMenu::TModuleTrustMenu(QWidget& window, QMenu* menu,
                                   std::function<void(const QString&)> message)
    : QObject(menu), window_(window), menu_(menu), message_(std::move(message)) {
  menu_->setObjectName("ModuleFoldersMenu");
  ask_ = [this](const QString& folder, const QStringList& libraries) {
    return Ask(folder, libraries);
  };
  connect(menu_, &QMenu::aboutToShow, this, &TModuleTrustMenu::Rebuild);
  Rebuild();
}

void TModuleTrustMenu::UseFile(const QString& file) {
  file_ = file;
  const QSettings settings(file_, QSettings::IniFormat);
  trusted_ = settings.value(kTrustedKey).toStringList();
  refused_ = settings.value(kRefusedKey).toStringList();
  Rebuild();
}

bool TModuleTrustMenu::MayLoad(const std::filesystem::path& folder,
                               const std::vector<std::filesystem::path>& libraries) {
  const QString name = tervik::platform::DisplayPath(folder.string());
  if (trusted_.contains(name)) return true;
  if (refused_.contains(name)) {
    message_("The folder " + Shown(name) +
             " is not trusted: its modules are left out (Program > Module folders forgets the "
             "answer)");
    return false;
  }
  QStringList shown;
  for (const std::filesystem::path& library : libraries)
    shown.append(Shown(tervik::platform::DisplayPath(library.string())));
  const bool trust = ask_(Shown(name), shown);
  (trust ? trusted_ : refused_).append(name);
  Store();
  Rebuild();
  message_(trust ? "Trusted the folder " + Shown(name) + ": its modules load"
                 : "Did not trust the folder " + Shown(name) +
                       ": its modules are left out, its ROM and RAM load");
  return trust;
}

void TModuleTrustMenu::Forget(const QString& folder) {
  trusted_.removeAll(folder);
  refused_.removeAll(folder);
  Store();
  Rebuild();
  message_("Forgot the answer for " + Shown(folder) + ": its next map asks again");
}

bool TModuleTrustMenu::Ask(const QString& folder, const QStringList& libraries) {
  QMessageBox box(
      QMessageBox::Warning, "Trust this folder?",
      "The memory map of " + folder + " loads peripheral modules that do not come with Tervik:",
      QMessageBox::NoButton, &window_);
  box.setInformativeText(libraries.join('\n') +
                         "\n\nA module is a program: it runs with your rights. Load modules "
                         "from this folder only if you trust where it came from.");
  QPushButton* trust = box.addButton("&Trust the folder", QMessageBox::AcceptRole);
  QPushButton* refuse = box.addButton("&Leave the modules out", QMessageBox::RejectRole);
  box.setDefaultButton(refuse);
  box.setEscapeButton(refuse);
  box.exec();
  return box.clickedButton() == trust;
}

void TModuleTrustMenu::Store() const {
  if (file_.isEmpty()) return;
  QSettings settings(file_, QSettings::IniFormat);
  settings.setValue(kTrustedKey, trusted_);
  settings.setValue(kRefusedKey, refused_);
}

void TModuleTrustMenu::Rebuild() {
  menu_->clear();
  auto add = [this](const QString& folder, const char* state) {
    QString caption = Shown(folder) + "  (" + state + ")";
    caption.replace('&', "&&");
    QAction* item = menu_->addAction("Forget " + caption);
    item->setToolTip("The next map of this folder asks again whether to load its modules");
    // Queued: forgetting rebuilds the menu while the item is still in use.
    connect(
        item, &QAction::triggered, this, [this, folder] { Forget(folder); }, Qt::QueuedConnection);
  };
  for (const QString& folder : trusted_) add(folder, "trusted");
  for (const QString& folder : refused_) add(folder, "not trusted");
  if (menu_->isEmpty()) menu_->addAction("No folder asked about yet")->setEnabled(false);
}
