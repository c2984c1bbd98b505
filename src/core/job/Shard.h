#pragma once

#include <QString>

// One share of a job split over several runs or machines: share `index` of `count`,
// counted from 1. Each source falls in exactly one share, decided by a hash of its path
// relative to the argument that led to it, so machines that mount the same tree at
// different places split it alike.
struct Shard
{
    qint32 index = 1;
    qint32 count = 1;

    // Whether the source named by `key` (its relative path) belongs to this share.
    bool holds(const QString& key) const;
};
