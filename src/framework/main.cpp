// The kavro program: a watershed simulation run from a project file.
#include "framework/program_entry.h"

int main(int argc, char** argv) { return kavro::kavro_main(argc, argv); }
