#include "CTavloApp.h"

int main(int argc, char** argv)
{
    CTavloApp app(argc, argv);
    return app.Run();
}
