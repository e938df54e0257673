#include "app/application.h"

int main(int argc, char** argv) { return qelvanto::RunApplication(argc, argv); }
