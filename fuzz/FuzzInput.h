#pragma once

#include <QByteArray>
#include <QString>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <cstdio>

// Takes a fuzz input apart: small numbers and pieces of text, each from the front.
class FuzzInput
{
public:
    FuzzInput(const uint8_t *data, size_t size) : m_data(reinterpret_cast<const char *>(data)), m_size(size) {}

    int number(int limit) // 0 .. limit-1
    {
        if (m_pos >= m_size || limit <= 1)
            return 0;
        const int value = uint8_t(m_data[m_pos++]);
        return value % limit;
    }
    // Bytes up to the next 0xFF (or the end).
    QByteArray piece()
    {
        size_t end = m_pos;
        while (end < m_size && uint8_t(m_data[end]) != 0xFF)
            ++end;
        QByteArray out(m_data + m_pos, qsizetype(end - m_pos));
        m_pos = end < m_size ? end + 1 : end;
        return out;
    }
    QByteArray rest()
    {
        QByteArray out(m_data + m_pos, qsizetype(m_size - m_pos));
        m_pos = m_size;
        return out;
    }

private:
    const char *m_data;
    size_t m_size;
    size_t m_pos = 0;
};

// An invariant that does not hold: libFuzzer keeps the input that broke it.
#define FUZZ_CHECK(condition)                                                                      \
    do {                                                                                           \
        if (!(condition)) {                                                                        \
            fprintf(stderr, "invariant broken: %s (%s:%d)\n", #condition, __FILE__, __LINE__);   \
            abort();                                                                               \
        }                                                                                          \
    } while (false)
