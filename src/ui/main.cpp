#include "ui/CTarnisApp.h"

int main(int argc, char** argv) {
    corvane::CTarnisApp app(argc, argv);
    return app.Run();
}
