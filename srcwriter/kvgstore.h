// Getters and decoders hand back each part of a result through a pointer of its own, and a
// null pointer means the caller does not want that part. Internal to the library.
#ifndef KVGSTORE_H
#define KVGSTORE_H

template <typename T>
inline void storeIfWanted(T *out, T value) {
    if (out != nullptr) *out = value;
}

#endif  // KVGSTORE_H
