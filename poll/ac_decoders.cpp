// Poll response decoders (placeholder until active polling lands).
#include "device/device_types.hpp"

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse40_41(const unsigned char* p, int len) {
    (void)p;
    (void)len;
    return -1;
}

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse40_42(const unsigned char* p, int len) {
    (void)p;
    (void)len;
    return -1;
}

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse40_43(const unsigned char* p, int len) {
    (void)p;
    (void)len;
    return -1;
}

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse40_44(const unsigned char* p, int len) {
    (void)p;
    (void)len;
    return -1;
}

template int PowerDevice::parse40_41(const unsigned char*, int);
template int PowerDevice::parse40_42(const unsigned char*, int);
template int PowerDevice::parse40_43(const unsigned char*, int);
template int PowerDevice::parse40_44(const unsigned char*, int);
