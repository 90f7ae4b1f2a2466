#include "support/QtTestMain.h"

int main(int argc, char** argv) { return qttest::RunTests(argc, argv); }
