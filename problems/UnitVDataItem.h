// The base of every data record read from a problem file.
#pragma once

class TMyStrStream;

class TVDataItem {
public:
    // The base record holds nothing, so it reads nothing.
    void LoadFromStream(TMyStrStream& reader);
};
