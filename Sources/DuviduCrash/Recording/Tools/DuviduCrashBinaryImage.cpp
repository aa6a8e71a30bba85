#include "DuviduCrash/Recording/Tools/DuviduCrashBinaryImage.h"

namespace duvidu {

void convertBinaryImageUUID(const uint8_t* uuid, char* buffer)
{
    static constexpr char digits[] = "0123456789ABCDEF";
    char* out = buffer;
    for (int i = 0; i < 16; ++i) {
        if (i == 4 || i == 6 || i == 8 || i == 10) *out++ = '-';
        *out++ = digits[uuid[i] >> 4];
        *out++ = digits[uuid[i] & 0x0F];
    }
    *out = '\0';
}

}  // namespace duvidu
