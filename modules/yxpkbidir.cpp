// Stand-in bidirectional module: answers every command with result 0.
#include "standin.h"

// 'main()' - Serve commands until 240.
int main(int argc, char **argv)
{
  StandinProgram program{"yxpkbidir", true, {}};
  return standinMain(program, argc, argv);
}
