// The billing dates of the enrolments.
#pragma once

namespace kor {

// Sets Matricula.ProximaGeracaoCobranca, the day an enrolment next generates
// a charge, for every enrolment that is not deleted or still has a
// non-deleted, non-exempted enrolment receivable:
//   - monthly ("MENSAL") enrolments with a receivable: the due day in the
//     month after the latest due date (cut to the month's last day);
//   - monthly ones without a receivable: the start date, or, for a zero
//     value, the due day in the current month;
//   - the others: the end date; a closed ("ENCERRADA") enrolment left with
//     the zero date takes its closing date.
// Runs on the data module's connection, the updates as one transaction.
// Throws ErroBanco when a query fails, or when an enrolment that needs its due
// day has none usable (null, zero or negative): the enrolments before it keep
// their new dates.
void CalculaProximaCobranca();
// The same with `hoje` (an OLE date) as today.
void CalculaProximaCobranca(double hoje);

}  // namespace kor
