#include "shell/app.h"

int main(int argc, char** argv) {
  return shell::RunKestra(argc, argv);
}
