#include "CTavloApp.h"
#include "PanelCommandLine.h"

int main(int argc, char** argv)
{
    CTavloApp::SetIdentity();
    PanelCommandLine::AnswerInfoRequests(argc, argv);
    CTavloApp app(argc, argv);
    return app.Run();
}
