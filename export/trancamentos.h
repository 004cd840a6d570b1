// The locking history: before the export, every locked ("TRANCADA") enrolment
// that will be exported gets an open lock period in MatriculaTrancamentos.
#pragma once

namespace kor {

// Adds an open lock period (the enrolment's lock date and reason, TrancadoPor
// 0) for each exportable locked enrolment without any lock row.
void GravaTrancamentos();
// Adds an open lock period for each exportable locked enrolment whose newest
// lock row has an unlock date. Run after GravaTrancamentos, whose rows are
// open and so never taken again; a second run adds nothing.
// Both run on the data module's connection, their inserts as one
// transaction, and throw ErroBanco when a query cannot be opened.
void ReabreTrancamentos();

}  // namespace kor
