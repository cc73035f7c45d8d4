// Writes a large PPD for the job parameter benchmark: about 1 MB, a few
// hundred options (the 120 marked-choice keywords first, then made-up ones),
// each with dozens of choices, and a few driver keys so the text pass admits
// lines. Every line stays under libcups' 255-character limit.
//   gen_ppd OUTPUT [options] [choices]
#include <cstdio>
#include <cstdlib>

#include "marked_keys.h"

// 'writeHeader()' - The keywords every PPD carries, and some driver keys.
static void writeHeader(FILE *f)
{
  fputs("*PPD-Adobe: \"4.3\"\n*FormatVersion: \"4.3\"\n*FileVersion: \"1.0\"\n"
        "*LanguageVersion: English\n*LanguageEncoding: ISOLatin1\n"
        "*PCFileName: \"BIGBENCH.PPD\"\n*Manufacturer: \"Bench\"\n*Product: \"(Bench)\"\n"
        "*ModelName: \"Bench Large\"\n*ShortNickName: \"Bench Large\"\n"
        "*NickName: \"Bench Large PPD\"\n*PSVersion: \"(3010.000) 0\"\n"
        "*LanguageLevel: \"3\"\n*ColorDevice: True\n*DefaultColorSpace: CMYK\n"
        "*QZTblFormat: \"A4,A3,Letter,Legal\"\n*QZModelMethod: \"2\"\n"
        "*QZMaxCopies: \"9999\"\n*QZPDLType: \"PS\"\n"
        "*%QZUIValue: QZUITrimValMin (10)\n*%QZUIValue: QZUITrimValMax (90)\n",
        f);
}

// 'writeOption()' - One PickOne option with its default and choices.
static void writeOption(FILE *f, const char *name, int choices)
{
  fprintf(f, "*OpenUI *%s/%s Setting: PickOne\n*OrderDependency: 20 AnySetup *%s\n", name, name,
          name);
  fprintf(f, "*Default%s: C01\n", name);
  for (int c = 1; c <= choices; c++)
    fprintf(f,
            "*%s C%02d/Choice %02d of %s with a long human readable text: "
            "\"<</%s %d /Padding (abcdefghijklmnopqrstuvwxyz)>>setpagedevice\"\n",
            name, c, c, name, name, c);
  fprintf(f, "*CloseUI: *%s\n\n", name);
}

// 'main()' - Write the PPD.
int main(int argc, char **argv)
{
  if (argc < 2)
    return 2;
  int options = argc > 2 ? static_cast<int>(strtol(argv[2], nullptr, 10)) : 300;
  int choices = argc > 3 ? static_cast<int>(strtol(argv[3], nullptr, 10)) : 20;
  FILE *f = fopen(argv[1], "w");
  if (f == nullptr)
    return 1;
  writeHeader(f);
  char name[64];
  for (int i = 0; i < options; i++) {
    if (i < 120)
      writeOption(f, kMarkedKeys[i], choices);
    else {
      snprintf(name, sizeof name, "QZBenchOption%03d", i);
      writeOption(f, name, choices);
    }
  }
  return fclose(f) == 0 ? 0 : 1;
}
