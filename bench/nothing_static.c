/* A static program that does nothing: process start without any dynamic
 * loading, to tell how much of a start the loader takes. */

/* 'main()' - Return at once. */
int main(void)
{
  return 0;
}
