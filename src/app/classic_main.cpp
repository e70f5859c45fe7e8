#include <QApplication>

#include "app/application.h"

int main(int argc, char* argv[]) {
    vesk::BuildProfile profile = vesk::BuildProfile::classicBuild();
    if (const auto code = vesk::answerInfoOptions(argc, argv, profile.program))
        return *code;
    QApplication app(argc, argv);
    return vesk::runConsole(app, std::move(profile));
}
