#include <QApplication>

#include "app/application.h"
#include "areas/multichannelarea.h"

int main(int argc, char* argv[]) {
    vesk::BuildProfile profile = vesk::BuildProfile::full(&vesk::createMultiChannelArea);
    if (const auto code = vesk::answerInfoOptions(argc, argv, profile.program))
        return *code;
    QApplication app(argc, argv);
    return vesk::runConsole(app, std::move(profile));
}
