#include <QApplication>

#include "app/application.h"
#include "areas/multichannelarea.h"

int main(int argc, char* argv[]) {
    QApplication app(argc, argv);
    return vesk::runConsole(app, vesk::BuildProfile::full(&vesk::createMultiChannelArea));
}
