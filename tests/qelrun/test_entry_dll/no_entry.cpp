// A library without QelDllEntry: what a host finds when handed the wrong file.
extern "C" __declspec(dllexport) int OtherEntry(int argument) { return argument; }
