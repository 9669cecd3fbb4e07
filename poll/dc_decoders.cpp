// Poll response decoders (placeholder until active polling lands).
#include "device/device_types.hpp"

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse42_41(const unsigned char* p, int len) {
    (void)p;
    (void)len;
    return -1;
}

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse42_41_2(const unsigned char* p, int len) {
    (void)p;
    (void)len;
    return -1;
}

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse42_42(const unsigned char* p, int len) {
    (void)p;
    (void)len;
    return -1;
}

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse42_42_2(const unsigned char* p, int len) {
    (void)p;
    (void)len;
    return -1;
}

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse42_44(const unsigned char* p, int len) {
    (void)p;
    (void)len;
    return -1;
}

template <class T, unsigned int ID>
int pmbuspower_419<T, ID>::parse42_44_2(const unsigned char* p, int len) {
    (void)p;
    (void)len;
    return -1;
}

template int PowerDevice::parse42_41(const unsigned char*, int);
template int PowerDevice::parse42_41_2(const unsigned char*, int);
template int PowerDevice::parse42_42(const unsigned char*, int);
template int PowerDevice::parse42_42_2(const unsigned char*, int);
template int PowerDevice::parse42_44(const unsigned char*, int);
template int PowerDevice::parse42_44_2(const unsigned char*, int);
