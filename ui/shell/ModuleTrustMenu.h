// The window's answer to "may this found map load modules from outside Tervik's module
// folder": the user is asked once per folder, naming the folder and the libraries, and the
// answer is kept in the settings file; the "Module folders" menu lists the answers and forgets
// one on request, so the next map of that folder asks again.
#pragma once

#include <QMenu>
#include <QObject>
#include <QString>
#include <QStringList>
#include <functional>

#include "ModuleTrust.h"

class TModuleTrustMenu final : public QObject, public tervik::ModuleTrust {
  Q_OBJECT

 public:
  // Asks the user: true to trust `folder` and load `libraries`.
  using Asker = std::function<bool(const QString& folder, const QStringList& libraries)>;
  // `menu` becomes the list of answers; `message` writes a console line. The question is a
  // dialog over `window` unless SetAsker replaces it.
  TModuleTrustMenu(QWidget& window, QMenu* menu, std::function<void(const QString&)> message);

  // Keeps the answers in the INI file `file` from now on (read at once); without one they last
  // as long as the window.
  void UseFile(const QString& file);
  void SetAsker(Asker ask) { ask_ = std::move(ask); }

  bool MayLoad(const std::filesystem::path& folder,
               const std::vector<std::filesystem::path>& libraries) override;

  const QStringList& Trusted() const { return trusted_; }
  const QStringList& Refused() const { return refused_; }
  // Forgets the answer for `folder`: its next map asks again.
  void Forget(const QString& folder);

 private:
  bool Ask(const QString& folder, const QStringList& libraries);
  void Store() const;
  void Rebuild();

  QWidget& window_;
  QMenu* menu_;
  std::function<void(const QString&)> message_;
  Asker ask_;
  QString file_;
  QStringList trusted_;
  QStringList refused_;
};
