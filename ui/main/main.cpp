// The program quillet: the main window Haupt is the start object; its load
// step hides it and shows the About window, whose click leads on to it.
#include <QApplication>
#include <QIcon>

#include "ui/main/haupt.h"
#include "ui/main/widget_desktop.h"

int main(int argc, char* argv[]) {
  QApplication app(argc, argv);
  QApplication::setApplicationName(QStringLiteral("Quillet"));
  QApplication::setApplicationVersion(QStringLiteral("0.3.1"));
  QApplication::setWindowIcon(QIcon(QStringLiteral(":/quillet/icon.png")));

  quillet::WidgetDesktop desktop;
  quillet::Haupt haupt(desktop);
  desktop.SetOwner(&haupt);
  // Unloading the main window ends the program, whatever else is loaded.
  QObject::connect(&haupt, &quillet::Haupt::Unloaded, &app,
                   &QCoreApplication::quit, Qt::QueuedConnection);
  haupt.Form_Load();
  return app.exec();
}
