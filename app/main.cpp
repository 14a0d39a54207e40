#include "app/Application.h"

int main(int argc, char** argv) {
    vantor::VantorApplication app(argc, argv);
    return vantor::RunApplication(app);
}
