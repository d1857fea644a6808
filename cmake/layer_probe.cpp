// Links one Core-only library whole: any call into the window layer is an undefined symbol here.
int main()
{
    return 0;
}
