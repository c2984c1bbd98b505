#pragma once

// Conversions between Qt and UNO types, for the layer's sources only.

#include <QFile>
#include <QFileInfo>
#include <QString>
#include <QUrl>

#include <com/sun/star/beans/PropertyValue.hpp>
#include <com/sun/star/uno/Any.hxx>
#include <com/sun/star/uno/Sequence.hxx>
#include <rtl/ustring.hxx>

#include <initializer_list>

namespace OfficeUno {

inline rtl::OUString toOUString(const QString& text)
{
    return rtl::OUString(reinterpret_cast<const sal_Unicode*>(text.utf16()), text.size());
}

inline QString toQString(const rtl::OUString& text)
{
    return QString(reinterpret_cast<const QChar*>(text.getStr()), text.getLength());
}

// The office takes file URLs, percent-encoded as UTF-8.
inline rtl::OUString fileUrl(const QString& path)
{
    return toOUString(
        QUrl::fromLocalFile(QFileInfo(path).absoluteFilePath()).toString(QUrl::FullyEncoded));
}

// Whether the file's name on disk is valid UTF-8: the office reaches no other.
inline bool hasUtf8Name(const QString& path)
{
    return QFile::encodeName(path) == path.toUtf8();
}

inline css::beans::PropertyValue property(const QString& name, const css::uno::Any& value)
{
    css::beans::PropertyValue result;
    result.Name = toOUString(name);
    result.Value = value;
    return result;
}

inline css::uno::Sequence<css::beans::PropertyValue>
properties(std::initializer_list<css::beans::PropertyValue> values)
{
    return css::uno::Sequence<css::beans::PropertyValue>(values.begin(),
                                                         static_cast<sal_Int32>(values.size()));
}

} // namespace OfficeUno
