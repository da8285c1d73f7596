// Lantern: reads the palette installed beside it and writes lantern.log
// there, saying how many colours it found, then exits. The installer opens it
// once the files are in place.
#include <windows.h>

#include <fstream>
#include <string>

int WINAPI WinMain(HINSTANCE, HINSTANCE, LPSTR, int)
{
    char program[MAX_PATH] = {};
    const DWORD length = GetModuleFileNameA(nullptr, program, MAX_PATH);
    if (length == 0 || length == MAX_PATH)
        return 1;
    std::string folder(program, length);
    folder.erase(folder.find_last_of('\\') + 1);

    std::ifstream palette(folder + "palette.txt");
    int colours = 0;
    for (std::string line; std::getline(palette, line);)
        colours += !line.empty() && line[0] != '#';
    std::ofstream log(folder + "lantern.log");
    log << "Lantern " LANTERN_VERSION " lit with " << colours << " colours\n";
    return log.good() ? 0 : 1;
}
