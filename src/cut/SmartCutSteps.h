// The arguments of a frame-exact cut's steps (see SmartCutPlan): the re-encoded pieces, the body
// copied on its own, the concat list, the join, and the keyframe cut.
#pragma once

#include "cut/SmartCutPlan.h"

#include <QString>
#include <QStringList>

// Arguments that re-encode `piece` of `source` into the MP4 `output` under `plan`'s settings,
// tracing the result's headers so that they can be checked against the source's.
QStringList encodePieceArguments(const QString& source, const CutPlan& plan,
                                 const EncodePiece& piece, const QString& output);

// Arguments that copy the body of a frame-exact plan into the MP4 `output`.
QStringList bodyCopyArguments(const CutPlan& plan, const QString& source, const QString& output);

// The concat list ("ffconcat version 1.0") of a frame-exact plan. The pieces' files lie beside
// the list; a body not copied on its own is read from `source` from its in point.
QString cutConcatList(const CutPlan& plan, const QString& source, const QString& headName,
                      const QString& bodyName, const QString& tailName);

// Arguments that join the pieces of `listPath` and the sound of `source` into `output`, moving
// the head's decode times `headShift` ticks earlier; no edit list, no hidden pre-roll.
QStringList cutJoinArguments(const CutPlan& plan, const QString& listPath, const QString& source,
                             qint64 headShift, const QString& output);

// Arguments of a keyframe cut of `source` into `output`.
QStringList keyframeCutArguments(const CutPlan& plan, const QString& source, const QString& output);

// The picture count in the last progress record among `lines` ("frame= 121 ..."); -1 if none.
int framesWritten(const QStringList& lines);
